// The picture viewer. For now it shows black and decodes nothing; the grid
// keeps the screen until it does (see kViewerReady in grid.cpp).
#include "ui/viewer.h"

#include "platform/gdi.h"
#include "ui/ui_state.h"

void LoadViewerPicture(int index) {}

void ViewerPaint(HDC screen, BOOL erase) {
  RECT all = {0, 0, uiState.clientWidth, uiState.clientHeight};
  HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
  FillRect(screen, &all, black);
  DeleteObject(black);
}

void ViewerPress(int x, int y) {}

void ViewerDragStep(int x, int y) {}

void ViewerRelease(int x, int y) {}

void SlideShowStep() {}
