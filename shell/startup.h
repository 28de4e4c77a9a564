// From the entry point to the message loop and back: the splash, the main
// window, the loop with the accelerator table.
#pragma once

#include "platform/wintypes.h"
#include "ui/main_window.h"

// The program's entry point: splash, window, loop. Returns the quit code,
// or 0 when the window cannot be created.
int ViewerMain(HINSTANCE instance, const WCHAR* commandLine, int showCommand);

// Paints the splash straight onto the screen and holds it (250 ms with a
// command line, 1000 ms without); keeps the command line in startPath.
void ShowSplash(HINSTANCE instance, const WCHAR* commandLine);
// Registers the class and creates the full-screen main window.
bool InitMainWindow(HINSTANCE instance, int showCommand);
void RegisterMainWindowClass(HINSTANCE instance, const WCHAR* className);
