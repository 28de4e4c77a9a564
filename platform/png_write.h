// PNG files from 32-bit pixels, for the tools that make the program's
// installed files.
#pragma once

#include <cstdint>

// Writes a w x h PNG with an alpha channel; argb is 0xAARRGGBB pixels, top
// row first, w per row. 1 when the whole file was written, else 0.
int WriteRgbaPng(const char* path, int w, int h, const uint32_t* argb);
// The same without an alpha channel: the top byte of each pixel is ignored.
int WriteRgbPng(const char* path, int w, int h, const uint32_t* xrgb);
