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
// The slide show's pace (--interval), before the window exists; 4 s unless set.
void SetSlideShowSeconds(int seconds);
// The first picture entry of the list, entryCount when there is none.
int FirstPicture();
// The viewer's key actions (and those the grid shares with it: the slide
// show switch, zoom and the decode-mode key), for a key that passed the
// key pipeline's device rules and repeat filter; keys marked not repeated
// are already dropped when auto-repeated.
void ViewerKey(int code);
// The wheel in the viewer: notches pictures on (negative: back), held to
// the folder's pictures, one decode at the end.
void ViewerWheel(int notches);
// Back to the grid with the picture's tile selected and on the page; while
// a slide show runs it only stops it.
void LeaveViewer();
