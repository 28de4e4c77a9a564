// Faces behind the font objects and their rendered glyphs, for the text
// drawing. Every call but FreeFontFace is made with TextLock() held.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/gdi_internal.h"

// One rendered glyph: 8-bit coverage rows, top row first.
struct GlyphImage {
  int left = 0;     // from the pen position to the first column
  int top = 0;      // from the baseline up to the first row
  int width = 0;
  int rows = 0;
  int advance = 0;  // pixels to the next pen position
  const uint8_t* coverage = nullptr;  // width * rows bytes; null when blank
};

struct FaceMetrics {
  int ascent = 0;      // baseline below the top of a line
  int lineHeight = 0;  // ascent + descent: the cell height
  int underline = 0;   // underline row below the baseline
};

// Guards every face and glyph cache. Never held while a font object may be
// released: its last release frees the face, which takes this lock.
std::mutex& TextLock();

// The face of font, made on first use; null when no font file could be
// loaded (remembered, so the lookup is not repeated).
FontFace* FaceOf(FontObject* font);
FaceMetrics MetricsOf(const FontFace* face);
// Empties the glyph cache when it has grown past its budget. Called before
// a layout: the glyphs handed out earlier are gone afterwards.
void TrimFace(FontFace* face);
// The glyph of a code point (the font's missing-glyph box when it has none).
// Never null; valid until the face is freed.
const GlyphImage* FaceGlyph(FontFace* face, uint32_t codePoint);
