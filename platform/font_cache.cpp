// Faces behind the font objects: the font file fontconfig picks for a
// description (platform/font_match.h), sized so that a positive height is the
// cell height (ascent plus descent, internal leading included), and a cache
// of rendered glyphs per face, by glyph index and by code point. A character
// the face lacks is drawn from the first font in fontconfig's fallback order
// that has it, sized by the same rule and drawn on the same baseline.
//
// Faces are made, used and freed with TextLock() held. The FreeType library
// is made once (std::call_once) and lives until the process ends.
#include "platform/font_cache.h"

#include "platform/font_match.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct CachedGlyph {
  GlyphImage image;
  std::vector<uint8_t> bits;
};

}  // namespace

struct FontFace {
  FT_Face ft = nullptr;  // null: no font file could be loaded
  LOGFONTW description = {};
  FaceMetrics metrics;
  const GlyphImage* latin[256] = {};
  std::unordered_map<uint32_t, const GlyphImage*> byCode;  // code points from 256 up
  std::unordered_map<FT_UInt, CachedGlyph> byIndex;
  size_t bytes = 0;  // coverage held by byIndex
  // Faces of other font files for characters this one lacks, by file.
  struct Fallback {
    FontFile file;
    FontFace* face;
  };
  std::vector<Fallback> fallbacks;
};

namespace {

const int kDefaultHeight = 12;  // the system font's cell height
// Larger heights are drawn at this size: it bounds the glyph bitmaps.
const int kMaxHeight = 256;
// Code points from 256 up remembered per face; past that they are looked up
// in the font each time, so a flood of odd names cannot grow the map.
const size_t kMaxCodeEntries = 4096;
// Coverage bytes a face keeps between drawings; ordinary labels stay far
// below (a 12-pixel glyph is some 100 bytes).
const size_t kCacheBudget = 4u << 20;
// Fallback fonts a face draws missing characters from, at most.
const size_t kMaxFallbackFaces = 8;

std::once_flag libraryOnce;
FT_Library library = nullptr;

FT_Library Library() {
  std::call_once(libraryOnce, [] {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  });
  return library;
}

long long RoundDiv(long long a, long long b) { return (a + b / 2) / b; }

// Sizes face for lfHeight. Positive: the cell height, as the font's Windows
// ascent plus descent; negative: the em height; 0: the default.
bool SizeFace(FT_Face f, LONG lfHeight, FaceMetrics* m) {
  long long upem = f->units_per_EM;
  if (!FT_IS_SCALABLE(f) || upem <= 0) return false;
  long long asc = f->ascender, desc = -(long long)f->descender;
  TT_OS2* os2 = (TT_OS2*)FT_Get_Sfnt_Table(f, FT_SFNT_OS2);
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    asc = os2->usWinAscent;
    desc = os2->usWinDescent;
  }
  if (asc < 0 || desc < 0 || asc + desc <= 0) {
    asc = upem * 4 / 5;
    desc = upem - asc;
  }
  long long height = lfHeight == 0 ? kDefaultHeight : lfHeight;
  long long em64;  // em size in 1/64 pixel
  if (height > 0) {
    height = std::min<long long>(height, kMaxHeight);
    em64 = RoundDiv(height * 64 * upem, asc + desc);
    m->ascent = (int)RoundDiv(asc * height, asc + desc);
    m->lineHeight = (int)height;
  } else {
    long long em = std::min<long long>(-height, kMaxHeight);
    em64 = em * 64;
    m->ascent = (int)RoundDiv(asc * em, upem);
    m->lineHeight = std::max(1, m->ascent + (int)RoundDiv(desc * em, upem));
  }
  if (FT_Set_Char_Size(f, 0, std::max<long long>(em64, 1), 72, 72) != 0) return false;
  // The underline lies at the font's position, kept inside the cell.
  long long below = RoundDiv(-(long long)f->underline_position * em64, upem * 64);
  int lowest = m->lineHeight - m->ascent - 1;
  m->underline = (int)std::max<long long>(1, std::min<long long>(below, lowest));
  return true;
}

const GlyphImage* GlyphByIndex(FontFace* face, FT_UInt index) {
  auto found = face->byIndex.find(index);
  if (found != face->byIndex.end()) return &found->second.image;
  CachedGlyph& g = face->byIndex[index];
  FT_Face f = face->ft;
  if (FT_Load_Glyph(f, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return &g.image;
  FT_GlyphSlot slot = f->glyph;
  g.image.advance = (int)std::clamp<long long>(((long long)slot->advance.x + 32) >> 6, 0,
                                               4 * kMaxHeight);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return &g.image;
  const FT_Bitmap& b = slot->bitmap;
  if (b.pixel_mode != FT_PIXEL_MODE_GRAY || b.width == 0 || b.rows == 0 || !b.buffer ||
      b.width > 4 * kMaxHeight || b.rows > 4 * kMaxHeight)
    return &g.image;
  int width = (int)b.width, rows = (int)b.rows;
  g.bits.resize((size_t)width * rows);
  face->bytes += g.bits.size();
  for (int y = 0; y < rows; y++) {
    const uint8_t* src = b.pitch >= 0 ? b.buffer + (size_t)y * b.pitch
                                      : b.buffer + (size_t)(rows - 1 - y) * (size_t)-b.pitch;
    std::copy(src, src + width, g.bits.begin() + (size_t)y * width);
  }
  g.image.left = slot->bitmap_left;
  g.image.top = slot->bitmap_top;
  g.image.width = width;
  g.image.rows = rows;
  g.image.coverage = g.bits.data();
  return &g.image;
}

// Loads file into face, sized for face's description. 1 on success.
bool OpenFace(const FontFile& file, FontFace* face) {
  FT_Library lib = Library();
  FT_Face f = nullptr;
  if (!lib || FT_New_Face(lib, file.path.c_str(), file.index, &f) != 0) return false;
  if (!SizeFace(f, face->description.lfHeight, &face->metrics)) {
    FT_Done_Face(f);
    return false;
  }
  face->ft = f;
  return true;
}

// Controls have no glyph anywhere; they keep the face's box.
bool MayFallBack(uint32_t codePoint) {
  return codePoint >= 0x20 && !(codePoint >= 0x7F && codePoint < 0xA0);
}

// The glyph of a character face lacks, from its fallback font; face's box
// when no font has it.
const GlyphImage* FallbackGlyph(FontFace* face, uint32_t codePoint) {
  FontFile file;
  if (!MayFallBack(codePoint) || !MatchFallbackFont(face->description, codePoint, &file))
    return GlyphByIndex(face, 0);
  FontFace* other = nullptr;
  for (const FontFace::Fallback& f : face->fallbacks)
    if (f.file.path == file.path && f.file.index == file.index) other = f.face;
  if (!other && face->fallbacks.size() < kMaxFallbackFaces) {
    other = new (std::nothrow) FontFace();
    if (!other) return GlyphByIndex(face, 0);
    other->description = face->description;
    face->fallbacks.push_back({file, other});
    if (!OpenFace(file, other)) other->ft = nullptr;
  }
  FT_UInt index = other && other->ft ? FT_Get_Char_Index(other->ft, codePoint) : 0;
  return index ? GlyphByIndex(other, index) : GlyphByIndex(face, 0);
}

// The glyph of a character in face, or from a fallback font.
const GlyphImage* GlyphOf(FontFace* face, uint32_t codePoint) {
  FT_UInt index = FT_Get_Char_Index(face->ft, codePoint);
  return index ? GlyphByIndex(face, index) : FallbackGlyph(face, codePoint);
}

size_t BytesHeld(const FontFace* face) {
  size_t bytes = face->bytes;
  for (const FontFace::Fallback& f : face->fallbacks) bytes += f.face->bytes;
  return bytes;
}

void EmptyCaches(FontFace* face) {
  std::fill(std::begin(face->latin), std::end(face->latin), nullptr);
  face->byCode.clear();
  face->byIndex.clear();
  face->bytes = 0;
}

}  // namespace

std::mutex& TextLock() {
  static std::mutex lock;
  return lock;
}

FontFace* FaceOf(FontObject* font) {
  if (font->face) return font->face->ft ? font->face : nullptr;
  FontFace* face = new (std::nothrow) FontFace();
  if (!face) return nullptr;
  font->face = face;
  face->description = font->description;
  FontFile file;
  if (!MatchFont(font->description, false, &file)) return nullptr;
  // A kept answer whose file no longer loads is asked again.
  if (!OpenFace(file, face) &&
      !(MatchFont(font->description, true, &file) && OpenFace(file, face)))
    return nullptr;
  return face;
}

FaceMetrics MetricsOf(const FontFace* face) { return face->metrics; }

void TrimFace(FontFace* face) {
  if (BytesHeld(face) <= kCacheBudget) return;
  EmptyCaches(face);
  for (FontFace::Fallback& f : face->fallbacks) EmptyCaches(f.face);
}

const GlyphImage* FaceGlyph(FontFace* face, uint32_t codePoint) {
  if (codePoint < 256) {
    const GlyphImage*& slot = face->latin[codePoint];
    if (!slot) slot = GlyphOf(face, codePoint);
    return slot;
  }
  auto found = face->byCode.find(codePoint);
  if (found != face->byCode.end()) return found->second;
  const GlyphImage* g = GlyphOf(face, codePoint);
  if (face->byCode.size() < kMaxCodeEntries) face->byCode.emplace(codePoint, g);
  return g;
}

void FreeFontFace(FontFace* face) {
  if (!face) return;
  std::lock_guard<std::mutex> hold(TextLock());
  for (FontFace::Fallback& f : face->fallbacks) {
    if (f.face->ft) FT_Done_Face(f.face->ft);
    delete f.face;
  }
  if (face->ft) FT_Done_Face(face->ft);
  delete face;
}
