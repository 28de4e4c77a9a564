// Stand-ins for the handheld shell's full-screen request and the game input
// library's button take-over.
#pragma once

#include "platform/wintypes.h"

#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// Keeps the window covering the whole screen; TRUE for a live window.
BOOL SHFullScreen(HWND hwnd, DWORD state);
// Number of full-screen requests so far (tests count them).
int PlatformFullScreenRequests();

// Between the two, the hardware buttons arrive as WM_KEYDOWN 0xC1-0xC6.
int GXOpenInput();
int GXCloseInput();
