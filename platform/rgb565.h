// RGB565 pixel words: bits 15-11 red, 10-5 green, 4-0 blue.
#pragma once

#include <cstdint>

inline uint16_t PackRgb565(unsigned r, unsigned g, unsigned b) {
  return (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// Words in a row of a 16-bit picture: rounded up to even, so every row
// ends on a 4-byte boundary.
inline int RowWords16(int width) { return ((width + 1) / 2) * 2; }
