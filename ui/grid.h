// The folder grid: tiles of the entry list, the title bar and the toolbar
// column. Window thread only.
#pragma once

#include "platform/wintypes.h"

// The grid part of WM_PAINT: composes the page in uiState.backContext and
// copies it to screen in one block.
void GridPaint(HDC screen);
// The grid parts of WM_LBUTTONDOWN and WM_LBUTTONUP, after the window has
// cleared toolbarHold and stored lastStylusY.
void GridPress(int x, int y);
void GridRelease(int x, int y);
// Moves the list by rows until the thumb's centre is near lastStylusY.
void ThumbTrackStep();
// VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN and VK_RETURN; Enter ignores repeats.
void GridKey(int code, bool repeated);
// Enters a folder entry or opens a picture entry; any index is safe.
void OpenEntry(int index);
// Top of the scroll thumb below the track's start, for a first visible
// index; 0 while the list fits on one page.
int ThumbOffset(int first);
