// The desktop window that shows the handheld's screen: SDL2 video and input.
// Built into the window module (platform/sdl_module.h); the program reaches
// it only through the module's table, the tests link it directly.
//
// Contract: open, the backend's calls and SdlCursorChanged's drawing all run
// on one thread, the window's; only wake() may come from any thread. The
// screen size is set (PlatformSetScreenSize) before the window opens.
#pragma once

#include "platform/backend.h"
#include "platform/sdl_module.h"

// The desktop display's size, for a full-screen window showing a screen of
// that size. 1 on success, 0 when there is no display. Both this and
// SdlDisplayRoom start SDL's video and leave it running for the window;
// SdlBackendClose stops it.
int SdlDisplaySize(int* width, int* height);
// The room a window has on the desktop display: its usable area, without
// the desktop's panels; and the display's whole size. 1 on success, 0 when
// there is no display.
int SdlDisplayRoom(int* width, int* height, int* displayWidth, int* displayHeight);

// Opens the window: the panel (the screen turned by the panel turn) times
// zoom (1 to 16), or with fullscreen the whole desktop. The user may resize
// it and F11 toggles full screen; the panel is scaled into whatever size it
// has (platform/screen_fit.h). title is UTF-8; icon, when given, is 32 x 32
// ARGB words. 1 on success, 0 when no display can be opened or one is open.
int SdlBackendOpen(int zoom, bool fullscreen, const char* title, const uint32_t* icon);
// Closes the window and SDL (tests; the program leaves it to the process end).
void SdlBackendClose();
const PlatformBackend* SdlBackend();

// The cursor shape changed: shown at once when called on the window's
// thread with the window open, else at the next present or wait.
void SdlCursorChanged();

// The key table: an SDL key code pressed (alt: an Alt key held; repeat: the
// desktop's auto-repeat) becomes message, code and lParam. The hardware
// buttons (F1-F6) count only while buttonsTaken. 0 for a dropped key.
int SdlTranslateKey(int sdlKey, bool alt, bool repeat, bool buttonsTaken, UINT* message,
                    WPARAM* code, LPARAM* lParam);
// SDL's key code for a key name such as "Left" or "Keypad Enter" (tests).
int SdlKeyFromName(const char* name);

// The stylus position: in screen pixels from window pixels at a whole zoom
// from the window's corner; and in pixels of a width x height window from a
// touch position normalised to 0..1 over it. Never negative.
void SdlWindowToScreen(int windowX, int windowY, int zoom, int* x, int* y);
void SdlTouchToScreen(float touchX, float touchY, int screenWidth, int screenHeight, int* x,
                      int* y);
