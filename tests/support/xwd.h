// Window captures from xwd dumps, for comparing what a window shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// 0xRRGGBB, top row first.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;
  uint32_t At(int x, int y) const { return rgb[(size_t)y * (size_t)width + (size_t)x]; }
  bool operator==(const Capture& o) const {
    return width == o.width && height == o.height && rgb == o.rgb;
  }
};

// An xwd dump (ZPixmap, 24 or 32 bits a pixel, 8-bit channels). "" or what
// is wrong.
std::string ParseXwd(const std::string& bytes, Capture* out);

// The RGB565 word an 8-bit capture pixel was widened from.
inline uint16_t Word565(uint32_t rgb) {
  return (uint16_t)((rgb >> 19 & 0x1F) << 11 | (rgb >> 10 & 0x3F) << 5 | (rgb >> 3 & 0x1F));
}
