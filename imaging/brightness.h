// Brightness of the viewer's picture, changed without decoding again: a
// 256-entry table built from a level (100 = unchanged) recomputes every pixel
// from the pristine copy that the JPEG decoder keeps. Window thread only.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// The viewer's current picture as far as brightness goes.
struct BrightnessSource {
  bool adjustable;           // cleared by every viewer load, set by a JPEG one
  uint16_t* livePixels;      // RGB565 words of the bitmap the viewer shows
  uint16_t* pristinePixels;  // heap copy as decoded; owned here
  uint32_t pixelCount;       // row length rounded up to even, times rows
};

extern BrightnessSource brightnessSource;
extern int brightnessLevel;       // 100 until something changes it
extern BYTE brightnessTable[256]; // rebuilt at every ApplyBrightness

// Rebuilds the table for level (callers pass brightnessLevel) and, while a
// picture is registered and adjustable, recomputes its pixels from the
// pristine copy: at brightnessLevel 100 a plain copy back. The caller must
// still hold the bitmap behind livePixels.
void ApplyBrightness(int level);

// The table for one level, into table.
void BuildBrightnessTable(int level, BYTE table[256]);

// Makes pixels (count words, owned by the caller's bitmap) the registered
// picture, with a fresh pristine copy, and marks it adjustable. Returns 0 and
// leaves the record unchanged when the copy cannot be allocated.
int RegisterBrightnessSource(uint16_t* pixels, uint32_t count);
