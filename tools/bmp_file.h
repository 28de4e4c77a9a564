// A bitmap written as a BMP file exactly as it lies in memory, for the
// tools' outputs.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/gdi.h"

inline void PutBmpLe(FILE* f, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) fputc((int)((v >> (8 * i)) & 0xFF), f);
}

// File header, then the bitmap's own header, masks and pixel bytes.
inline bool WriteBmp(const char* path, HBITMAP bitmap) {
  DIBSECTION ds;
  if (GetObject(bitmap, sizeof(ds), &ds) != (int)sizeof(ds)) return false;
  uint32_t pixelBytes = (uint32_t)ds.dsBm.bmWidthBytes * (uint32_t)ds.dsBm.bmHeight;
  uint32_t offset = 14 + sizeof(BITMAPINFOHEADER) + sizeof(ds.dsBitfields);
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  fputc('B', f);
  fputc('M', f);
  PutBmpLe(f, offset + pixelBytes, 4);
  PutBmpLe(f, 0, 4);
  PutBmpLe(f, offset, 4);
  fwrite(&ds.dsBmih, sizeof(ds.dsBmih), 1, f);
  fwrite(ds.dsBitfields, sizeof(ds.dsBitfields), 1, f);
  fwrite(ds.dsBm.bmBits, 1, pixelBytes, f);
  bool ok = !ferror(f);
  if (fclose(f) != 0) ok = false;
  return ok;
}
