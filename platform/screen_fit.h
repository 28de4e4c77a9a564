// The panel (the screen, turned when --rotate asks) in a window of any
// size: scaled with its aspect kept, by the largest whole factor that fits,
// smoothly only when not even one fits, centred on black. Built into the
// window module; no SDL here, so the tests reach it directly.
#pragma once

#include <cstdint>

// Where the panel goes in a windowWidth x windowHeight window.
struct ScreenFit {
  int x = 0, y = 0, width = 0, height = 0;  // the picture's place; empty: none
  int factor = 0;                           // whole window pixels a panel pixel; 0: smooth
  int panelWidth = 0, panelHeight = 0;
  int windowWidth = 0, windowHeight = 0;
};
ScreenFit FitPanel(int windowWidth, int windowHeight, int panelWidth, int panelHeight);

// The panel point under a window point. True inside the picture; outside,
// the point is clamped onto the picture's edge and false comes back.
bool FitWindowToPanel(const ScreenFit& fit, int windowX, int windowY, int* px, int* py);

// The screen as the panel sees it: panel pixel (px, py) is the RGB565 word
// at words[origin + px * stepX + py * stepY]. A turned panel walks the
// screen's columns.
struct PanelView {
  const uint16_t* words = nullptr;
  long origin = 0, stepX = 1, stepY = 0;
  int width = 0, height = 0;
};

// A window surface's packed format, 16 or 32 bits a pixel: each 8-bit
// channel loses its low *Loss bits and moves up by *Shift; alpha is or-ed in.
struct PixelLayout {
  int bytesPerPixel = 4;
  int rShift = 16, gShift = 8, bShift = 0;
  int rLoss = 0, gLoss = 0, bLoss = 0;
  uint32_t alpha = 0;
};

// Draws the panel into a window's pixels (pitch bytes a row) at its fit;
// with borders, the rest of the window is painted black as well.
void DrawPanel(const PanelView& view, const ScreenFit& fit, const PixelLayout& layout,
               uint8_t* pixels, int pitch, bool borders);
