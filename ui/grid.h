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
// Beyond the handheld: VK_PRIOR and VK_NEXT move the selection and the page
// by a page, VK_HOME and VK_END to the first and the last entry.
void GridKey(int code, bool repeated);
// The wheel: the page moves a row a notch (negative: up), as the toolbar's
// arrows move it.
void GridWheel(int notches);
// Opens the parent entry, as a tap on its tile; nothing at the root.
void OpenParentFolder();
// The title bar with title, and the close cross at the top right, drawn
// into uiState.backContext as the grid draws them.
void PaintTitle(const WCHAR* title);
void PaintCloseButton();
// Enters a folder entry or opens a picture entry; any index is safe.
void OpenEntry(int index);
// Top of the scroll thumb below the track's start, for a first visible
// index; 0 while the list fits on one page.
int ThumbOffset(int first);
