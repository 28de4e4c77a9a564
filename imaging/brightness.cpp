// The brightness table and the record of the viewer's picture.
#include "imaging/brightness.h"

#include <cstdlib>
#include <cstring>

#include "platform/rgb565.h"

BrightnessSource brightnessSource = {false, nullptr, nullptr, 0};
int brightnessLevel = 100;
BYTE brightnessTable[256];

namespace {
int Clamp255(long v) { return v < 0 ? 0 : (v > 255 ? 255 : (int)v); }
}  // namespace

void BuildBrightnessTable(int level, BYTE table[256]) {
  for (long i = 0; i < 256; i++) {
    long q = i * ((long)level + 156) / 256;  // truncates toward zero
    long entry;
    if (level <= 100) {
      long t = Clamp255(q);
      entry = (i * (t - i + 256)) / 256;
    } else {
      long t = Clamp255((long)(level - 100) + q);
      entry = (i * i + (256 - i) * t) / 256;
    }
    table[i] = (BYTE)entry;
  }
}

void ApplyBrightness(int level) {
  BuildBrightnessTable(level, brightnessTable);
  BrightnessSource& src = brightnessSource;
  if (!src.pristinePixels || !src.adjustable) return;
  if (brightnessLevel == 100) {
    memcpy(src.livePixels, src.pristinePixels, (size_t)src.pixelCount * 2);
    return;
  }
  const BYTE* table = brightnessTable;
  for (uint32_t j = 0; j < src.pixelCount; j++) {
    unsigned p = src.pristinePixels[j];
    // Widened to 8 bits by shifting alone: low bits zero, no replication.
    unsigned red8 = table[(p >> 8) & 0xF8];
    unsigned green8 = table[(p >> 3) & 0xFC];
    unsigned blue8 = table[(p & 0x1F) << 3];
    src.livePixels[j] = PackRgb565(red8, green8, blue8);
  }
}

int RegisterBrightnessSource(uint16_t* pixels, uint32_t count) {
  uint16_t* copy = (uint16_t*)malloc((size_t)count * 2);
  if (!copy) return 0;
  memcpy(copy, pixels, (size_t)count * 2);
  free(brightnessSource.pristinePixels);
  brightnessSource.pristinePixels = copy;
  brightnessSource.livePixels = pixels;
  brightnessSource.pixelCount = count;
  brightnessSource.adjustable = true;
  return 1;
}
