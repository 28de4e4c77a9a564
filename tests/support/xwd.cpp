#include "tests/support/xwd.h"

namespace {

uint32_t Be32(const std::string& b, size_t at) {
  return (uint32_t)(uint8_t)b[at] << 24 | (uint32_t)(uint8_t)b[at + 1] << 16 |
         (uint32_t)(uint8_t)b[at + 2] << 8 | (uint32_t)(uint8_t)b[at + 3];
}

int Shift(uint32_t mask) {
  int s = 0;
  while (s < 32 && !(mask >> s & 1)) s++;
  return s;
}

}  // namespace

std::string ParseXwd(const std::string& b, Capture* out) {
  const size_t kFields = 25;
  if (b.size() < kFields * 4) return "xwd dump too short";
  uint32_t f[kFields];
  for (size_t i = 0; i < kFields; i++) f[i] = Be32(b, i * 4);
  const uint32_t headerSize = f[0], width = f[4], height = f[5], byteOrder = f[7];
  const uint32_t bitsPerPixel = f[11], bytesPerLine = f[12], ncolors = f[19];
  const uint32_t masks[3] = {f[14], f[15], f[16]};
  if (f[1] != 7 || f[2] != 2) return "not a version 7 ZPixmap dump";
  if (bitsPerPixel != 24 && bitsPerPixel != 32) return "unexpected bits per pixel";
  for (uint32_t m : masks)
    if (!m || m >> Shift(m) != 0xFF) return "channels are not 8 bits";
  const uint64_t start = (uint64_t)headerSize + (uint64_t)ncolors * 12;
  const uint32_t bytes = bitsPerPixel / 8;
  if (width < 1 || height < 1 || width > 65536 || height > 65536 || bytesPerLine < width * bytes ||
      start + (uint64_t)bytesPerLine * height > b.size())
    return "xwd dump truncated or malformed";
  out->width = (int)width;
  out->height = (int)height;
  out->rgb.assign((size_t)width * (size_t)height, 0);
  for (uint32_t y = 0; y < height; y++)
    for (uint32_t x = 0; x < width; x++) {
      size_t at = (size_t)start + (size_t)y * bytesPerLine + (size_t)x * bytes;
      uint32_t v = 0;
      for (uint32_t i = 0; i < bytes; i++) {
        uint32_t byte = (uint8_t)b[at + (byteOrder == 0 ? bytes - 1 - i : i)];
        v = v << 8 | byte;
      }
      uint32_t rgb = 0;
      for (uint32_t m : masks) rgb = rgb << 8 | (v & m) >> Shift(m);
      out->rgb[(size_t)y * width + x] = rgb;
    }
  return "";
}
