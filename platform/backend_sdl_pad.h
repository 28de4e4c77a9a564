// Game pads through SDL's game controller interface, part of the window
// module: each button press becomes the key the program already knows, and
// a held button repeats as a held key does.
//
// SDL's own event wait turns into a 1 ms poll while any pad is open, so the
// pads are looked at here instead: every kPadPollMs while one is open,
// every kPadDetectMs for a newly plugged one. Window thread only.
#pragma once

#include "platform/wintypes.h"

// SDL's game controller buttons, by their SDL numbers.
enum PadButton {
  PAD_A = 0,
  PAD_B = 1,
  PAD_X = 2,
  PAD_Y = 3,
  PAD_BACK = 4,
  PAD_GUIDE = 5,
  PAD_START = 6,
  PAD_LEFT_STICK = 7,
  PAD_RIGHT_STICK = 8,
  PAD_LEFT_SHOULDER = 9,
  PAD_RIGHT_SHOULDER = 10,
  PAD_DPAD_UP = 11,
  PAD_DPAD_DOWN = 12,
  PAD_DPAD_LEFT = 13,
  PAD_DPAD_RIGHT = 14,
};

const int kPadPollMs = 16;
const int kPadDetectMs = 1000;
const int kPadRepeatDelayMs = 400;  // a held button's first repeat
const int kPadRepeatMs = 50;        // then this often; the key pipeline paces them

// The key a pad button stands for: 1 with its code, 0 for a button without
// one. X and Y are the hardware buttons, passed on only while buttonsTaken.
int SdlPadButtonKey(int button, bool buttonsTaken, WPARAM* code);

// Before SDL's video starts: the pads are polled here, not by SDL's wait.
void SdlPadsPrepare();
// With the window: starts SDL's game controllers (none on failure).
void SdlPadsStart();
void SdlPadsStop();

// Events, as SDL numbers them.
void SdlPadAdded(int deviceIndex);
void SdlPadRemoved(int instanceId);
void SdlPadButtonChanged(int instanceId, int button, bool down);
// A pad lost while its button was held, or the window's focus went.
void SdlPadsRelease();

// Milliseconds until the pads want a look (a poll or a repeat); -1 never.
int SdlPadsDueMs();
// Polls the pads when due (their events queue in SDL) and posts the repeat
// that is due.
void SdlPadsTick();
// Open pads (tests).
int SdlPadsOpen();

// A virtual pad through SDL's virtual joystick driver, for tests: its device
// index, or -1. Buttons as PadButton; 1 on success.
int SdlAttachVirtualPad();
int SdlSetVirtualPadButton(int deviceIndex, int button, bool down);
int SdlDetachVirtualPad(int deviceIndex);
