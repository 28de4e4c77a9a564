// What shows the screen and feeds input: the SDL window, the headless script
// runner, or nothing (tests and tools: a real clock, no input).
//
// Contract: the window thread's message wait calls wait() when it has
// nothing to hand out; wake() may come from any thread and makes a wait
// return soon. Input becomes messages through PlatformPostInput.
#pragma once

#include "platform/wintypes.h"

struct PlatformBackend {
  // Milliseconds, monotonic modulo 2^32.
  DWORD (*tickCount)();
  // The window's thread sleeping (the splash holds): a real or a virtual pause.
  void (*sleep)(DWORD milliseconds);
  // Returns once input was posted, wake() was called, or timeoutMs passed
  // (negative: no limit). Window thread only.
  void (*wait)(int timeoutMs);
  void (*wake)();
  // The screen surface changed since it was last shown (window thread).
  void (*present)();
  // Turns input that is already waiting into messages, without waiting, so
  // that it goes before paints and timer ticks. May be null.
  void (*poll)();
};

// Installs a backend (null: the default). Before any window exists.
void PlatformSetBackend(const PlatformBackend* backend);
const PlatformBackend* PlatformGetBackend();

// Input from a backend, as the main window receives it: stylus messages
// (x, y in pixels of the screen, clamped to the window's client area; a
// turned panel's points go through PanelPointToScreen first), WM_KEYDOWN
// with its code and lParam, and WM_MOUSEWHEEL (platform/window.h). Posted to the thread's active
// window (the newest live one); dropped when there is none.
void PlatformPostInput(UINT message, WPARAM wParam, LPARAM lParam);
// The window that input goes to, or null.
HWND PlatformActiveWindow();
// Asks the active window to close (WM_CLOSE), as the desktop's close does.
void PlatformRequestClose();

// The full-screen request and the button take-over, as far as backends see
// them: whether the hardware buttons (F1-F6 here) reach the program.
bool PlatformButtonsTaken();

// The line a headless `state` command prints; the user interface installs it.
typedef void (*StateReporter)(char* line, size_t size);
void PlatformSetStateReporter(StateReporter reporter);
StateReporter PlatformGetStateReporter();
