// RGB565 pixel words: bits 15-11 red, 10-5 green, 4-0 blue.
#pragma once

#include <cstdint>

inline uint16_t PackRgb565(unsigned r, unsigned g, unsigned b) {
  return (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// 8-bit channels of a word, the top bits repeated below them: white stays
// 255, and packing them again gives the same word.
inline unsigned Rgb565Red(uint16_t w) { unsigned v = w >> 11; return v << 3 | v >> 2; }
inline unsigned Rgb565Green(uint16_t w) { unsigned v = (w >> 5) & 63; return v << 2 | v >> 4; }
inline unsigned Rgb565Blue(uint16_t w) { unsigned v = w & 31; return v << 3 | v >> 2; }

// Words in a row of a 16-bit picture: rounded up to even, so every row
// ends on a 4-byte boundary.
inline int RowWords16(int width) { return ((width + 1) / 2) * 2; }
