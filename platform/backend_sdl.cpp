// The SDL2 window backend: shows the panel (the screen, turned when asked)
// scaled into a window of any size, and turns mouse, wheel, touch, keys and
// game pads into the handheld's input messages.
//
// The screen goes into the window's own surface, scaled here
// (platform/screen_fit.h): a 240 x 320 screen needs no renderer, and SDL's
// accelerated one brings a GL driver that took the idle window from 16 MB
// resident to 105 MB.
#include "platform/backend_sdl.h"

#include <SDL.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/backend_sdl_pad.h"
#include "platform/cursor.h"
#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/panel_turn.h"
#include "platform/screen_fit.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "platform/x11_errors.h"

namespace {

// A sleep returns to its clock this often, so a long one cannot overshoot.
const int kSleepSliceMs = 20;
const WPARAM kPlusCode = 0x2B;   // the plus sign's character code
const WPARAM kMinusCode = 0x2D;  // the hyphen-minus
const WPARAM kLetterH = 0x48;    // help, as is "?" on the "/" key
const LPARAM kRepeatCountOne = 1;

// code: WM_KEYDOWN without Alt (0: none). button: a hardware button, only
// passed on while the program has taken the buttons. altCode: with Alt held,
// WM_SYSKEYDOWN with this code for the accelerator table (0: Alt ignored).
struct KeyRule {
  SDL_Keycode key;
  WPARAM code;
  bool button;
  WPARAM altCode;
};

const KeyRule kKeyTable[] = {
    {SDLK_LEFT, VK_LEFT, false, 0},
    {SDLK_UP, VK_UP, false, 0},
    {SDLK_RIGHT, VK_RIGHT, false, 0},
    {SDLK_DOWN, VK_DOWN, false, 0},
    {SDLK_RETURN, VK_RETURN, false, 0},
    {SDLK_KP_ENTER, VK_RETURN, false, 0},
    {SDLK_ESCAPE, VK_ESCAPE, false, 0},
    {SDLK_SPACE, VK_SPACE, false, 0},
    // "=" shares its key with "+" on many layouts.
    {SDLK_PLUS, kPlusCode, false, 0},
    {SDLK_EQUALS, kPlusCode, false, 0},
    {SDLK_KP_PLUS, kPlusCode, false, 0},
    {SDLK_MINUS, kMinusCode, false, 0},
    {SDLK_KP_MINUS, kMinusCode, false, 0},
    {SDLK_F1, 0xC1, true, 0},
    {SDLK_F2, 0xC2, true, 0},
    {SDLK_F3, 0xC3, true, 0},
    {SDLK_F4, 0xC4, true, VK_F4},
    {SDLK_F5, 0xC5, true, 0},
    {SDLK_F6, 0xC6, true, 0},
    {SDLK_SLASH, VK_OEM_2, false, VK_OEM_2},
    {SDLK_KP_DIVIDE, VK_OEM_2, false, VK_OEM_2},
    // Keys the handheld did not have.
    {SDLK_QUESTION, VK_OEM_2, false, 0},  // layouts with "?" on a key of its own
    {SDLK_PAGEUP, VK_PRIOR, false, 0},
    {SDLK_PAGEDOWN, VK_NEXT, false, 0},
    {SDLK_HOME, VK_HOME, false, 0},
    {SDLK_END, VK_END, false, 0},
    {SDLK_BACKSPACE, VK_BACK, false, 0},
    {SDLK_h, kLetterH, false, 0},
};

// Toggles full screen in the window; the program never sees it.
const SDL_Keycode kFullScreenKey = SDLK_F11;

enum StylusSource { STYLUS_UP, STYLUS_MOUSE, STYLUS_FINGER };

// The open window; touched only by the window's thread.
struct SdlWindowState {
  SDL_Window* window = nullptr;
  SDL_Cursor* arrowCursor = nullptr;
  SDL_Cursor* waitCursor = nullptr;
  int shownShape = IDC_ARROW;
  ScreenFit fit;  // where the panel shows in the window now
  unsigned presentedVersion = 0;
  bool mustPresent = true;  // the window lost its contents, or never had any
  StylusSource stylus = STYLUS_UP;
  SDL_FingerID finger = 0;
  int stylusX = 0;
  int stylusY = 0;
  bool closePending = false;  // closed before the program had a window
};

SdlWindowState sdl;
// The registered wake event's type; 0 while no window is open.
std::atomic<Uint32> wakeEventType{0};
// The thread that opened the window; none while it is closed. Atomic: the
// cursor hook asks from any thread.
std::atomic<std::thread::id> windowThread{std::thread::id()};
// A wake event is queued and not yet read: further wakes add nothing.
std::atomic<bool> wakeQueued{false};

LPARAM PackPoint(int x, int y) {
  return (LPARAM)(DWORD)((DWORD)(x & 0xFFFF) | ((DWORD)(y & 0xFFFF) << 16));
}

void ShowCursorShape() {
  int shape = PlatformCursorShape();
  if (shape == sdl.shownShape) return;
  SDL_Cursor* cursor = shape == IDC_WAIT ? sdl.waitCursor : sdl.arrowCursor;
  if (cursor) SDL_SetCursor(cursor);
  sdl.shownShape = shape;
}

// The screen as the panel shows it, turned without a copy.
PanelView ViewOfPanel(const uint16_t* pixels, int width, int height, int stride) {
  const int turn = PlatformPanelTurn();
  PanelView view;
  view.words = pixels;
  PanelSize(turn, width, height, &view.width, &view.height);
  int x0, y0, x1, y1, x2, y2;
  PanelPointToScreen(turn, width, height, 0, 0, &x0, &y0);
  PanelPointToScreen(turn, width, height, 1, 0, &x1, &y1);
  PanelPointToScreen(turn, width, height, 0, 1, &x2, &y2);
  const long words = stride / 2;
  view.origin = (long)y0 * words + x0;
  view.stepX = (long)(y1 - y0) * words + (x1 - x0);
  view.stepY = (long)(y2 - y0) * words + (x2 - x0);
  return view;
}

PixelLayout LayoutOf(const SDL_PixelFormat* f) {
  PixelLayout layout;
  layout.bytesPerPixel = f->BytesPerPixel;
  layout.rShift = f->Rshift;
  layout.gShift = f->Gshift;
  layout.bShift = f->Bshift;
  layout.rLoss = f->Rloss;
  layout.gLoss = f->Gloss;
  layout.bLoss = f->Bloss;
  layout.alpha = f->Amask;
  return layout;
}

// The panel's place in a window of the given size.
void Refit(int windowWidth, int windowHeight) {
  int panelWidth, panelHeight;
  PanelSize(PlatformPanelTurn(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
            &panelWidth, &panelHeight);
  sdl.fit = FitPanel(windowWidth, windowHeight, panelWidth, panelHeight);
}

void Present() {
  if (!sdl.window) return;
  ShowCursorShape();
  // Read before the copy: drawing that lands during it shows next time.
  unsigned version = PlatformScreenVersion();
  if (!sdl.mustPresent && version == sdl.presentedVersion) return;
  int width, height, stride;
  uint16_t* pixels = PlatformScreenPixels(&width, &height, &stride);
  if (!pixels) return;
  // SDL makes the surface anew after the window's size changed.
  SDL_Surface* target = SDL_GetWindowSurface(sdl.window);
  if (!target) return;
  Refit(target->w, target->h);
  // The borders only when the whole window must be drawn; otherwise only
  // the picture goes to the display.
  const bool whole = sdl.mustPresent;
  const PanelView view = ViewOfPanel(pixels, width, height, stride);
  const int bytes = target->format->BytesPerPixel;
  if (bytes == 2 || bytes == 4) {
    if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
    DrawPanel(view, sdl.fit, LayoutOf(target->format), (uint8_t*)target->pixels, target->pitch,
              whole);
    if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
  } else {
    // Other depths (24 bits, palettes) through a 32-bit copy SDL converts.
    SDL_Surface* copy =
        SDL_CreateRGBSurfaceWithFormat(0, target->w, target->h, 32, SDL_PIXELFORMAT_XRGB8888);
    if (!copy) return;
    DrawPanel(view, sdl.fit, LayoutOf(copy->format), (uint8_t*)copy->pixels, copy->pitch, true);
    int blitted = SDL_BlitSurface(copy, nullptr, target, nullptr);
    SDL_FreeSurface(copy);
    if (blitted != 0) return;
  }
  SDL_Rect picture = {sdl.fit.x, sdl.fit.y, sdl.fit.width, sdl.fit.height};
  int failed = whole || picture.w < 1 ? SDL_UpdateWindowSurface(sdl.window)
                                      : SDL_UpdateWindowSurfaceRects(sdl.window, &picture, 1);
  if (failed != 0) return;
  sdl.presentedVersion = version;
  sdl.mustPresent = false;
}

void RequestClose() {
  if (PlatformActiveWindow())
    PlatformRequestClose();
  else
    sdl.closePending = true;
}

void StylusDown(StylusSource source, int x, int y) {
  sdl.stylus = source;
  sdl.stylusX = x;
  sdl.stylusY = y;
  PlatformPostInput(WM_LBUTTONDOWN, 0, PackPoint(x, y));
}

void StylusMove(int x, int y) {
  sdl.stylusX = x;
  sdl.stylusY = y;
  PlatformPostInput(WM_MOUSEMOVE, 0, PackPoint(x, y));
}

void StylusUp(int x, int y) {
  sdl.stylus = STYLUS_UP;
  PlatformPostInput(WM_LBUTTONUP, 0, PackPoint(x, y));
}

// The screen point under a window point; false off the picture (the point
// then lies on its edge).
bool WindowToScreen(int windowX, int windowY, int* x, int* y) {
  int px, py;
  bool inside = FitWindowToPanel(sdl.fit, windowX, windowY, &px, &py);
  PanelPointToScreen(PlatformPanelTurn(), GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), px, py, x, y);
  return inside;
}

bool FingerToScreen(const SDL_TouchFingerEvent& finger, int* x, int* y) {
  int wx, wy;
  SdlTouchToScreen(finger.x, finger.y, sdl.fit.windowWidth, sdl.fit.windowHeight, &wx, &wy);
  return WindowToScreen(wx, wy, x, y);
}

// A wheel turn as WM_MOUSEWHEEL: the distance in WHEEL_DELTA a notch,
// positive away from the user, and the pointer's screen point.
void PostWheel(const SDL_MouseWheelEvent& wheel) {
  float notches = wheel.preciseY;
  if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
  long distance = lroundf(notches * WHEEL_DELTA);
  if (distance > INT16_MAX) distance = INT16_MAX;
  if (distance < INT16_MIN) distance = INT16_MIN;
  if (distance == 0) return;
  int windowX, windowY, x, y;
  SDL_GetMouseState(&windowX, &windowY);
  WindowToScreen(windowX, windowY, &x, &y);
  PlatformPostInput(WM_MOUSEWHEEL, (WPARAM)(uint16_t)(int16_t)distance << 16, PackPoint(x, y));
}

void ToggleFullScreen() {
  const bool full = (SDL_GetWindowFlags(sdl.window) & SDL_WINDOW_FULLSCREEN) != 0;
  SDL_SetWindowFullscreen(sdl.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
  sdl.mustPresent = true;
}

void HandleWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESTORED:
      sdl.mustPresent = true;
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      // Input before the next paint already lands where it will be drawn.
      Refit(event.data1, event.data2);
      sdl.mustPresent = true;
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // The release may never come once another window has the pointer.
      if (sdl.stylus != STYLUS_UP) StylusUp(sdl.stylusX, sdl.stylusY);
      SdlPadsRelease();
      break;
  }
}

void HandleEvent(const SDL_Event& event) {
  int x, y;
  switch (event.type) {
    case SDL_QUIT:
      RequestClose();
      return;
    case SDL_WINDOWEVENT:
      HandleWindowEvent(event.window);
      return;
    case SDL_KEYDOWN: {
      if (event.key.keysym.sym == kFullScreenKey) {
        if (!event.key.repeat) ToggleFullScreen();
        return;
      }
      UINT message;
      WPARAM code;
      LPARAM lParam;
      bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
      if (SdlTranslateKey(event.key.keysym.sym, alt, event.key.repeat != 0, PlatformButtonsTaken(),
                          &message, &code, &lParam))
        PlatformPostInput(message, code, lParam);
      return;
    }
    case SDL_MOUSEWHEEL:
      PostWheel(event.wheel);
      return;
    // Touch arrives as finger events; SDL's mouse copies of them are skipped.
    // A press on the black border around the picture is no tap; a stylus
    // that went down on the picture follows along its edge.
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button != SDL_BUTTON_LEFT || event.button.which == SDL_TOUCH_MOUSEID) return;
      if (sdl.stylus != STYLUS_UP) return;
      if (!WindowToScreen(event.button.x, event.button.y, &x, &y)) return;
      StylusDown(STYLUS_MOUSE, x, y);
      return;
    case SDL_MOUSEMOTION:
      if (sdl.stylus != STYLUS_MOUSE || event.motion.which == SDL_TOUCH_MOUSEID) return;
      WindowToScreen(event.motion.x, event.motion.y, &x, &y);
      StylusMove(x, y);
      return;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT || sdl.stylus != STYLUS_MOUSE) return;
      WindowToScreen(event.button.x, event.button.y, &x, &y);
      StylusUp(x, y);
      return;
    case SDL_FINGERDOWN:
      if (sdl.stylus != STYLUS_UP) return;  // one stylus: the first finger down
      if (!FingerToScreen(event.tfinger, &x, &y)) return;
      sdl.finger = event.tfinger.fingerId;
      StylusDown(STYLUS_FINGER, x, y);
      return;
    case SDL_FINGERMOTION:
      if (sdl.stylus != STYLUS_FINGER || event.tfinger.fingerId != sdl.finger) return;
      FingerToScreen(event.tfinger, &x, &y);
      StylusMove(x, y);
      return;
    case SDL_FINGERUP:
      if (sdl.stylus != STYLUS_FINGER || event.tfinger.fingerId != sdl.finger) return;
      FingerToScreen(event.tfinger, &x, &y);
      StylusUp(x, y);
      return;
    case SDL_CONTROLLERDEVICEADDED:
      SdlPadAdded(event.cdevice.which);
      return;
    case SDL_CONTROLLERDEVICEREMOVED:
      SdlPadRemoved(event.cdevice.which);
      return;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      SdlPadButtonChanged(event.cbutton.which, event.cbutton.button,
                          event.type == SDL_CONTROLLERBUTTONDOWN);
      return;
  }
  if (event.type == wakeEventType.load()) wakeQueued.store(false);
}

// Handles the events already queued; presents when the window needs it.
void DrainEvents() {
  SdlPadsTick();
  SDL_Event event;
  while (SDL_PollEvent(&event)) HandleEvent(event);
  if (sdl.mustPresent) Present();
}

// The platform's GetTickCount and Sleep come back here while this backend is
// installed, so both use SDL's own clock and delay.
DWORD SdlTickCount() { return (DWORD)SDL_GetTicks(); }

void SdlSleep(DWORD milliseconds) {
  if (!sdl.window) {
    SDL_Delay(milliseconds);
    return;
  }
  Present();
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) break;
    DWORD left = milliseconds - elapsed;
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, left < (DWORD)kSleepSliceMs ? (int)left : kSleepSliceMs))
      HandleEvent(event);
    DrainEvents();
  }
}

void SdlWait(int timeoutMs) {
  if (!sdl.window) {
    if (timeoutMs > 0) SDL_Delay((Uint32)timeoutMs);
    return;
  }
  ShowCursorShape();
  if (sdl.closePending && PlatformActiveWindow()) {
    sdl.closePending = false;
    PlatformRequestClose();
    return;
  }
  // The pads are looked at on time, not only when something else happens.
  const int padMs = SdlPadsDueMs();
  if (padMs >= 0 && (timeoutMs < 0 || padMs < timeoutMs)) timeoutMs = padMs;
  SDL_Event event;
  int got = timeoutMs < 0 ? SDL_WaitEvent(&event) : SDL_WaitEventTimeout(&event, timeoutMs);
  if (got) HandleEvent(event);
  DrainEvents();
  ShowCursorShape();
}

void SdlWake() {
  Uint32 type = wakeEventType.load();
  if (!type || wakeQueued.exchange(true)) return;
  SDL_Event event;
  SDL_zero(event);
  event.type = type;
  if (SDL_PushEvent(&event) != 1) wakeQueued.store(false);
}

void SdlPresent() {
  if (sdl.window) Present();
}

void SdlPoll() {
  if (sdl.window) DrainEvents();
}

const PlatformBackend kSdlBackend = {SdlTickCount, SdlSleep, SdlWait, SdlWake, SdlPresent, SdlPoll};

void SetIcon(const uint32_t* icon) {
  // SDL only reads the pixels; the window keeps its own copy.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
      (void*)icon, 32, 32, 32, 32 * (int)sizeof(uint32_t), SDL_PIXELFORMAT_ARGB8888);
  if (!surface) return;
  SDL_SetWindowIcon(sdl.window, surface);
  SDL_FreeSurface(surface);
}

// The window's X11 class and Wayland app id: the desktop entry's
// StartupWMClass, so a dock matches the window to the entry. SDL reads these
// when its video starts; a value already set by the user wins.
void UseWindowClass() {
  static const char kWindowClass[] = "korvane-viewer";
  setenv("SDL_VIDEO_X11_WMCLASS", kWindowClass, 0);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", kWindowClass, 0);
}

// SDL opens an X input method at start, and X's own reads the locale's whole
// compose table (some 50 million instructions, half the window's start).
// The program takes keys, never text, so the table it reads is empty; a
// user's own setting wins.
void SkipComposeTable() { setenv("XCOMPOSEFILE", "/dev/null", 0); }

Uint32 RegisteredWakeType() {
  static Uint32 type = SDL_RegisterEvents(1);
  return type;
}

// SDL's video, started once for the display's size and the window both
// (each start connects to the display and reads its keyboard tables anew),
// and kept until the window closes.
bool videoStarted = false;

bool StartVideo() {
  if (videoStarted) return true;
  // Ctrl+C and kill end the program as they would without a window.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  UseWindowClass();
  SkipComposeTable();
  // The window surface in the display's own memory (X11: shared memory), not
  // in a texture of an accelerated renderer. The user's setting wins.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SdlPadsPrepare();
  videoStarted = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  // SDL's reason before the program's own message (a console without the
  // driver asked for: "kmsdrm not available").
  if (!videoStarted) fprintf(stderr, "korvane-viewer: %s\n", SDL_GetError());
  else SdlOutliveLateFocus();
  return videoStarted;
}

}  // namespace

int SdlDisplaySize(int* width, int* height) {
  if (!StartVideo()) return 0;
  SDL_DisplayMode mode;
  int ok = SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0;
  if (ok) {
    if (width) *width = mode.w;
    if (height) *height = mode.h;
  }
  return ok;
}

int SdlDisplayRoom(int* width, int* height, int* displayWidth, int* displayHeight) {
  if (!StartVideo()) return 0;
  SDL_Rect room, whole;
  int ok = SDL_GetDisplayUsableBounds(0, &room) == 0 && room.w > 0 && room.h > 0 &&
           SDL_GetDisplayBounds(0, &whole) == 0;
  if (ok) {
    if (width) *width = room.w;
    if (height) *height = room.h;
    if (displayWidth) *displayWidth = whole.w;
    if (displayHeight) *displayHeight = whole.h;
  }
  return ok;
}

int SdlBackendOpen(int zoom, bool fullscreen, const char* title, const uint32_t* icon) {
  if (sdl.window || !StartVideo()) return 0;
  Uint32 wakeType = RegisteredWakeType();
  if (wakeType == (Uint32)-1) return 0;
  if (fullscreen || zoom < 1) zoom = 1;
  if (zoom > kMaxWindowZoom) zoom = kMaxWindowZoom;
  int panelWidth, panelHeight;
  PanelSize(PlatformPanelTurn(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
            &panelWidth, &panelHeight);
  Uint32 flags =
      SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  sdl.window = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                panelWidth * zoom, panelHeight * zoom, flags);
  if (!sdl.window) return 0;
  if (!SDL_GetWindowSurface(sdl.window)) {
    SdlBackendClose();
    return 0;
  }
  if (icon) SetIcon(icon);
  SDL_StopTextInput();  // keys only; no input method in between
  sdl.arrowCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  sdl.waitCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
  sdl.shownShape = IDC_ARROW;
  int windowWidth, windowHeight;
  SDL_GetWindowSize(sdl.window, &windowWidth, &windowHeight);
  Refit(windowWidth, windowHeight);
  sdl.mustPresent = true;
  sdl.stylus = STYLUS_UP;
  sdl.closePending = false;
  windowThread.store(std::this_thread::get_id());
  wakeQueued.store(false);
  wakeEventType.store(wakeType);
  PlatformSetCursorHook(SdlCursorChanged);
  ShowCursorShape();
  SdlPadsStart();
  return 1;
}

void SdlBackendClose() {
  if (!sdl.window) return;
  wakeEventType.store(0);
  PlatformSetCursorHook(nullptr);
  windowThread.store(std::thread::id());
  SdlPadsStop();
  SDL_DestroyWindow(sdl.window);
  if (sdl.arrowCursor) SDL_FreeCursor(sdl.arrowCursor);
  if (sdl.waitCursor) SDL_FreeCursor(sdl.waitCursor);
  sdl = SdlWindowState();
  if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  videoStarted = false;
}

const PlatformBackend* SdlBackend() { return &kSdlBackend; }

void SdlCursorChanged() {
  if (windowThread.load() == std::this_thread::get_id()) ShowCursorShape();
}

int SdlTranslateKey(int sdlKey, bool alt, bool repeat, bool buttonsTaken, UINT* message,
                    WPARAM* code, LPARAM* lParam) {
  for (const KeyRule& rule : kKeyTable) {
    if (rule.key != sdlKey) continue;
    LPARAM bits = kRepeatCountOne | (repeat ? KF_REPEAT_BIT : 0);
    if (alt && rule.altCode) {
      *message = WM_SYSKEYDOWN;
      *code = rule.altCode;
      *lParam = bits | KF_ALT_BIT;
      return 1;
    }
    if (rule.button && !buttonsTaken) return 0;
    *message = WM_KEYDOWN;
    *code = rule.code;
    *lParam = bits;
    return 1;
  }
  return 0;
}

int SdlKeyFromName(const char* name) { return name ? (int)SDL_GetKeyFromName(name) : 0; }

void SdlWindowToScreen(int windowX, int windowY, int zoom, int* x, int* y) {
  // A panel larger than any window, from the window's corner at a whole zoom.
  const int kUnbounded = 1 << 16;
  ScreenFit fit;
  fit.factor = zoom < 1 ? 1 : zoom;
  fit.panelWidth = fit.panelHeight = kUnbounded;
  fit.width = fit.height = kUnbounded * fit.factor;
  FitWindowToPanel(fit, windowX, windowY, x, y);
}

void SdlTouchToScreen(float touchX, float touchY, int screenWidth, int screenHeight, int* x,
                      int* y) {
  // The window shows the screen whole, so 0..1 spans it; 1.0 is past the last
  // pixel and a NaN counts as 0.
  float fx = touchX > 0 ? (touchX < 1 ? touchX : 1) : 0;
  float fy = touchY > 0 ? (touchY < 1 ? touchY : 1) : 0;
  *x = (int)(fx * (float)screenWidth);
  *y = (int)(fy * (float)screenHeight);
  if (*x >= screenWidth) *x = screenWidth > 0 ? screenWidth - 1 : 0;
  if (*y >= screenHeight) *y = screenHeight > 0 ? screenHeight - 1 : 0;
}

// The module's one entry point (platform/sdl_module.h).
extern "C" __attribute__((visibility("default"))) const SdlModule* KorvaneViewerSdlModule(
    unsigned version) {
  static const SdlModule kModule = {SdlDisplaySize, SdlDisplayRoom, SdlBackendOpen,
                                    SdlBackendClose, SdlBackend};
  return version == kSdlModuleVersion ? &kModule : nullptr;
}
