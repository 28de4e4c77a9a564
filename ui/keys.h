// The key pipeline: device button rules, the repeat filter and the dispatch
// of every WM_KEYDOWN to the grid, the viewer or the help page; and the
// wheel. Window thread only.
#pragma once

#include "platform/wintypes.h"

// The device's model name as it reports it (100 bytes): the device rules
// look for substrings of it. Empty unless the --oem-info option fills it,
// so by default keys never depend on the machine.
static const int kOemInfoChars = 50;
extern WCHAR oemInfo[kOemInfoChars];

// The WM_KEYDOWN handler: code is wParam, bit 30 of lParam marks an
// auto-repeat. Keys the window sends itself come with lParam 0. Returns 0,
// or the result of the message it sends.
LRESULT KeyDown(WPARAM code, LPARAM lParam);

// WM_MOUSEWHEEL: rows in the grid, pictures in the viewer, a notch each;
// while the help page shows, it closes it.
void MouseWheel(WPARAM wParam);

// The device rules applied in order to a key code; 0: ignore the key.
int MapDeviceKey(int code);
