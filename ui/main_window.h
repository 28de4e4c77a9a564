// The main window's procedure: both views, the timer, the worker's message.
#pragma once

#include "browser/entry_list.h"
#include "platform/wintypes.h"

// The start request the window acts on at creation, filled by the start-up
// before it creates the window. startPath: the command line as given (room
// for 511 characters), or "". startPathUnusable: a command line was given
// that cannot name a device path (or was too long to keep): the window
// lists the root and opens nothing. startSlideShow (--slideshow): the slide
// show starts on the picture opened, else on the folder's first picture.
// appInstance: where its bitmaps load from.
extern WCHAR startPath[kPathMax];
extern bool startPathUnusable;
extern bool startSlideShow;
extern HINSTANCE appInstance;

LRESULT MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
