// Faces behind the font objects: the font file fontconfig picks for a
// description, sized so that a positive height is the cell height (ascent
// plus descent, internal leading included), and a cache of rendered glyphs
// per face, by glyph index and by code point.
//
// Faces are made, used and freed with TextLock() held. The FreeType library
// is made once (std::call_once) and lives until the process ends.
#include "platform/font_cache.h"
#include "platform/utf8.h"

#include <fontconfig/fontconfig.h>
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
  FaceMetrics metrics;
  const GlyphImage* latin[256] = {};
  std::unordered_map<uint32_t, const GlyphImage*> byCode;  // code points from 256 up
  std::unordered_map<FT_UInt, CachedGlyph> byIndex;
  size_t bytes = 0;  // coverage held by byIndex
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
const int kBoldWeight = 600;
const int kFamilyMask = 0xF0;
const int kFamilyRoman = 0x10;
const int kFamilyModern = 0x30;

// Families tried after the face name, by the description's font family.
// The Liberation faces have the metrics of the usual Windows faces.
struct FamilyFallbacks {
  int family;
  const char* names[3];
};
const FamilyFallbacks kFallbacks[] = {
    {kFamilyRoman, {"Liberation Serif", "DejaVu Serif", "serif"}},
    {kFamilyModern, {"Liberation Mono", "DejaVu Sans Mono", "monospace"}},
    {FF_SWISS, {"Liberation Sans", "DejaVu Sans", "sans-serif"}},  // also any other family
};

std::once_flag libraryOnce;
FT_Library library = nullptr;

FT_Library Library() {
  std::call_once(libraryOnce, [] {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  });
  return library;
}

// The face name as UTF-8; characters that are no Unicode scalar are left out.
std::string Utf8Name(const WCHAR* name) {
  std::string out;
  for (int i = 0; i < LF_FACESIZE && name[i]; i++) {
    uint32_t c = (uint32_t)name[i];
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
    unsigned char b[4];
    out.append((const char*)b, (size_t)EncodeUtf8(c, b));
  }
  return out;
}

// The font file (and face index in it) that fontconfig matches to d.
bool FindFontFile(const LOGFONTW& d, std::string* path, int* index) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  std::string name = Utf8Name(d.lfFaceName);
  if (!name.empty()) FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)name.c_str());
  const FamilyFallbacks* fallbacks = &kFallbacks[2];
  for (const FamilyFallbacks& f : kFallbacks)
    if (f.family == (d.lfPitchAndFamily & kFamilyMask)) fallbacks = &f;
  for (const char* family : fallbacks->names)
    FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)family);
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      d.lfWeight >= kBoldWeight ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, d.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  bool found = false;
  if (FcConfigSubstitute(nullptr, pattern, FcMatchPattern)) {
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* file = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      *path = (const char*)file;
      if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
      found = true;
    }
    if (match) FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return found;
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
  FT_Library lib = Library();
  std::string path;
  int index = 0;
  if (!lib || !FindFontFile(font->description, &path, &index)) return nullptr;
  FT_Face f = nullptr;
  if (FT_New_Face(lib, path.c_str(), index, &f) != 0) return nullptr;
  if (!SizeFace(f, font->description.lfHeight, &face->metrics)) {
    FT_Done_Face(f);
    return nullptr;
  }
  face->ft = f;
  return face;
}

FaceMetrics MetricsOf(const FontFace* face) { return face->metrics; }

void TrimFace(FontFace* face) {
  if (face->bytes <= kCacheBudget) return;
  std::fill(std::begin(face->latin), std::end(face->latin), nullptr);
  face->byCode.clear();
  face->byIndex.clear();
  face->bytes = 0;
}

const GlyphImage* FaceGlyph(FontFace* face, uint32_t codePoint) {
  if (codePoint < 256) {
    const GlyphImage*& slot = face->latin[codePoint];
    if (!slot) slot = GlyphByIndex(face, FT_Get_Char_Index(face->ft, codePoint));
    return slot;
  }
  auto found = face->byCode.find(codePoint);
  if (found != face->byCode.end()) return found->second;
  const GlyphImage* g = GlyphByIndex(face, FT_Get_Char_Index(face->ft, codePoint));
  if (face->byCode.size() < kMaxCodeEntries) face->byCode.emplace(codePoint, g);
  return g;
}

void FreeFontFace(FontFace* face) {
  if (!face) return;
  std::lock_guard<std::mutex> hold(TextLock());
  if (face->ft) FT_Done_Face(face->ft);
  delete face;
}
