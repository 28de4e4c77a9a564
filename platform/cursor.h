// The cursor: which shape the device shows. Thread-safe: a decode on any
// thread may set it; a window backend shows it.
#pragma once

#include "platform/wintypes.h"

#define IDC_ARROW 32512
#define IDC_WAIT 32514

// instance must be null (system cursors only); null for an unknown id.
HCURSOR LoadCursor(HINSTANCE instance, int id);
// Returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);
// IDC_ARROW or IDC_WAIT: the shape shown now.
int PlatformCursorShape();
// Called whenever the shape changes, on the thread that
// changed it; the window backend installs it while a window is open. Null:
// none.
typedef void (*CursorHook)();
void PlatformSetCursorHook(CursorHook hook);
