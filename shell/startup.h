// From the entry point to the message loop and back: the splash, the main
// window, the loop with the accelerator table.
#pragma once

#include "browser/entry_list.h"
#include "platform/wintypes.h"

// The command line as given (room for 511 characters), or "".
extern WCHAR startPath[kPathMax];
extern HINSTANCE appInstance;
// Set before ViewerMain when a command line was given that cannot name a
// device path, and by ShowSplash for one too long to keep: the splash holds
// as for a usable one, but the window lists the root and opens nothing.
extern bool startPathUnusable;

// The program's entry point: splash, window, loop. Returns the quit code,
// or 0 when the window cannot be created.
int ViewerMain(HINSTANCE instance, const WCHAR* commandLine, int showCommand);

// Paints the splash straight onto the screen and holds it (250 ms with a
// command line, 1000 ms without); keeps the command line in startPath.
void ShowSplash(HINSTANCE instance, const WCHAR* commandLine);
// Registers the class and creates the full-screen main window.
bool InitMainWindow(HINSTANCE instance, int showCommand);
void RegisterMainWindowClass(HINSTANCE instance, const WCHAR* className);
