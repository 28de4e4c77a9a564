// Game pads: SDL's game controller buttons as the program's keys.
#include "platform/backend_sdl_pad.h"

#include <SDL.h>

#include <vector>

#include "platform/backend.h"
#include "platform/window.h"

namespace {

static_assert((int)PAD_A == (int)SDL_CONTROLLER_BUTTON_A &&
                  (int)PAD_X == (int)SDL_CONTROLLER_BUTTON_X &&
                  (int)PAD_LEFT_SHOULDER == (int)SDL_CONTROLLER_BUTTON_LEFTSHOULDER &&
                  (int)PAD_DPAD_RIGHT == (int)SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
              "PadButton follows SDL's numbers");

const LPARAM kRepeatCountOne = 1;

// button: a hardware button of the handheld, passed on only while the
// program has taken the buttons (as F1-F6 on the keyboard).
struct PadRule {
  int pad;
  WPARAM code;
  bool button;
};

const PadRule kPadTable[] = {
    {PAD_DPAD_LEFT, VK_LEFT, false},
    {PAD_DPAD_UP, VK_UP, false},
    {PAD_DPAD_RIGHT, VK_RIGHT, false},
    {PAD_DPAD_DOWN, VK_DOWN, false},
    {PAD_A, VK_RETURN, false},
    {PAD_B, VK_ESCAPE, false},
    {PAD_X, 0xC2, true},                // the slide show
    {PAD_Y, 0xC1, true},                // the fit mode
    {PAD_LEFT_SHOULDER, 0x2D, false},   // "-": zoom out
    {PAD_RIGHT_SHOULDER, 0x2B, false},  // "+": zoom in
};

struct OpenPad {
  SDL_GameController* controller;
  SDL_JoystickID id;
};

// The pad button held last repeats, as the last key held on a keyboard.
struct HeldButton {
  bool held = false;
  SDL_JoystickID pad = -1;
  int button = -1;
  WPARAM code = 0;
  Uint32 nextRepeat = 0;
};

bool started = false;
std::vector<OpenPad> pads;
HeldButton heldButton;
Uint32 nextPoll = 0;

// Milliseconds from now to tick, negative once passed; the ticks wrap.
int Until(Uint32 tick, Uint32 now) { return (int)(int32_t)(tick - now); }

}  // namespace

int SdlPadButtonKey(int button, bool buttonsTaken, WPARAM* code) {
  for (const PadRule& rule : kPadTable) {
    if (rule.pad != button) continue;
    if (rule.button && !buttonsTaken) return 0;
    *code = rule.code;
    return 1;
  }
  return 0;
}

void SdlPadsPrepare() { SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0"); }

void SdlPadsStart() {
  if (started) return;
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return;  // no pads, the window works
  started = true;
  nextPoll = SDL_GetTicks();
}

void SdlPadsStop() {
  if (!started) return;
  for (const OpenPad& p : pads) SDL_GameControllerClose(p.controller);
  pads.clear();
  heldButton = HeldButton();
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  started = false;
}

void SdlPadAdded(int deviceIndex) {
  if (!started) return;
  // SDL names the pads present at start twice: by its start and by this.
  SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  for (const OpenPad& p : pads)
    if (p.id == id) return;
  SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
  if (!controller) return;
  pads.push_back({controller, id});
  nextPoll = SDL_GetTicks();  // from now on at the pace of an open pad
}

void SdlPadRemoved(int instanceId) {
  for (size_t i = 0; i < pads.size(); i++) {
    if (pads[i].id != instanceId) continue;
    SDL_GameControllerClose(pads[i].controller);
    pads.erase(pads.begin() + (long)i);
    if (heldButton.pad == instanceId) heldButton = HeldButton();
    return;
  }
}

void SdlPadButtonChanged(int instanceId, int button, bool down) {
  if (!down) {
    if (heldButton.held && heldButton.pad == instanceId && heldButton.button == button)
      heldButton = HeldButton();
    return;
  }
  WPARAM code;
  if (!SdlPadButtonKey(button, PlatformButtonsTaken(), &code)) return;
  PlatformPostInput(WM_KEYDOWN, code, kRepeatCountOne);
  heldButton.held = true;
  heldButton.pad = instanceId;
  heldButton.button = button;
  heldButton.code = code;
  heldButton.nextRepeat = SDL_GetTicks() + kPadRepeatDelayMs;
}

void SdlPadsRelease() { heldButton = HeldButton(); }

int SdlPadsDueMs() {
  if (!started) return -1;
  const Uint32 now = SDL_GetTicks();
  int due = Until(nextPoll, now);
  if (heldButton.held) {
    int repeat = Until(heldButton.nextRepeat, now);
    if (repeat < due) due = repeat;
  }
  return due < 0 ? 0 : due;
}

void SdlPadsTick() {
  if (!started) return;
  Uint32 now = SDL_GetTicks();
  if (Until(nextPoll, now) <= 0) {
    SDL_GameControllerUpdate();
    nextPoll = now + (pads.empty() ? kPadDetectMs : kPadPollMs);
  }
  if (heldButton.held && Until(heldButton.nextRepeat, now) <= 0) {
    PlatformPostInput(WM_KEYDOWN, heldButton.code, kRepeatCountOne | KF_REPEAT_BIT);
    heldButton.nextRepeat = now + kPadRepeatMs;
  }
}

int SdlPadsOpen() { return (int)pads.size(); }

int SdlAttachVirtualPad() {
  SDL_VirtualJoystickDesc desc;
  SDL_zero(desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.name = "Virtual pad";
  return SDL_JoystickAttachVirtualEx(&desc);
}

int SdlSetVirtualPadButton(int deviceIndex, int button, bool down) {
  // The pad's joystick as the backend opened it.
  SDL_Joystick* joystick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(deviceIndex));
  return joystick && SDL_JoystickSetVirtualButton(joystick, button, down ? 1 : 0) == 0;
}

int SdlDetachVirtualPad(int deviceIndex) { return SDL_JoystickDetachVirtual(deviceIndex) == 0; }
