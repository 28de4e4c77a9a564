// The main window's procedure: both views, the timer, the worker's message.
#pragma once

#include "platform/wintypes.h"

LRESULT MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
