// The picture viewer: one decoded picture over the whole screen.
#pragma once

#include "platform/wintypes.h"

// Decodes entry index into uiState.picture for the viewer.
void LoadViewerPicture(int index);
// The viewer part of WM_PAINT; erase is the paint's erase-needed flag.
void ViewerPaint(HDC screen, BOOL erase);
// The viewer parts of the stylus messages and of the timer tick.
void ViewerPress(int x, int y);
void ViewerDragStep(int x, int y);
void ViewerRelease(int x, int y);
void SlideShowStep();
