// What a WM_KEYDOWN does.
#pragma once

#include "platform/wintypes.h"

// The WM_KEYDOWN handler: code is wParam, lParam carries the auto-repeat
// bit. Keys the window sends itself come with lParam 0.
LRESULT KeyPipeline(WPARAM code, LPARAM lParam);
