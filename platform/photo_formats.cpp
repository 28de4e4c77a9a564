// Sniffing and declared sizes of the --photos formats. Nothing here trusts a
// length: every box, chunk and directory is checked against its parent's end
// and the bytes at hand before it is read.
#include "platform/photo_formats.h"

#include <cstdint>
#include <cstring>

#include "platform/byte_order.h"

namespace {

// WebP: "RIFF", a length, "WEBP", then the first chunk's tag and length.
const size_t kRiffHead = 12;
const size_t kChunkHead = 8;
const size_t kVp8FrameHead = 10;   // frame tag, start code, two 14-bit sides
const size_t kVp8lHead = 5;        // signature byte, then 14-bit sides less one
const size_t kVp8xHead = 10;       // flags, then 24-bit sides less one
const BYTE kVp8StartCode[3] = {0x9D, 0x01, 0x2A};
const BYTE kVp8lSignature = 0x2F;

// ISO-BMFF: brands that name each format, major or compatible.
const char* const kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "mif1", "msf1", "heif"};
const char* const kAvifBrands[] = {"avif", "avis"};
const size_t kBoxHead = 8;
// No real ftyp lists more than a few dozen brands.
const uint32_t kMaxFtypBytes = 4096;

// TIFF: the two byte orders' signatures, and IFD0's tags for the size.
const BYTE kTiffLittle[4] = {'I', 'I', 42, 0};
const BYTE kTiffBig[4] = {'M', 'M', 0, 42};
const size_t kTiffHead = 8;
const size_t kIfdEntry = 12;
const uint16_t kTagImageWidth = 256;
const uint16_t kTagImageLength = 257;
const uint16_t kTypeShort = 3;
const uint16_t kTypeLong = 4;

// The largest side any of the loaders could ever take; a larger claim is
// damage, not a picture to weigh against the budget.
const uint32_t kMaxSide = 1u << 24;

uint32_t Read24Le(const BYTE* p) { return (uint32_t)(p[0] | p[1] << 8 | p[2] << 16); }

bool Is(const BYTE* p, const char* tag) { return memcmp(p, tag, 4) == 0; }

template <size_t N>
bool BrandIn(const BYTE* brand, const char* const (&list)[N]) {
  for (const char* b : list)
    if (Is(brand, b)) return true;
  return false;
}

DeclaredSize Sides(uint32_t w, uint32_t h, int* width, int* height) {
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return kSizeDamaged;
  *width = (int)w;
  *height = (int)h;
  return kSizeKnown;
}

// --- WebP --------------------------------------------------------------------

DeclaredSize WebpSize(const BYTE* b, size_t count, int* width, int* height) {
  if (count < kRiffHead + kChunkHead) return kSizeNotHere;
  const BYTE* tag = b + kRiffHead;
  const BYTE* body = tag + kChunkHead;
  const size_t have = count - kRiffHead - kChunkHead;
  if (Is(tag, "VP8 ")) {
    if (have < kVp8FrameHead) return kSizeNotHere;
    // A key frame (bit 0 clear) and its start code.
    if ((body[0] & 1) != 0 || memcmp(body + 3, kVp8StartCode, 3) != 0) return kSizeDamaged;
    return Sides(ReadLe16(body + 6) & 0x3FFF, ReadLe16(body + 8) & 0x3FFF, width, height);
  }
  if (Is(tag, "VP8L")) {
    if (have < kVp8lHead) return kSizeNotHere;
    if (body[0] != kVp8lSignature) return kSizeDamaged;
    const uint32_t bits = ReadLe32(body + 1);
    return Sides((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1, width, height);
  }
  if (Is(tag, "VP8X")) {
    if (have < kVp8xHead) return kSizeNotHere;
    return Sides(Read24Le(body + 4) + 1, Read24Le(body + 7) + 1, width, height);
  }
  return kSizeDamaged;
}

// --- ISO-BMFF ----------------------------------------------------------------

// One box inside its parent: its type and where its payload and it end
// (the end may lie past the bytes at hand).
struct Box {
  const BYTE* type;
  size_t payload;
  size_t end;
};

enum BoxRead { kBoxOk, kBoxNotHere, kBoxBad };

// The box header at `at` within its parent's [at, limit); count is what is
// at hand.
BoxRead NextBox(const BYTE* b, size_t count, size_t at, size_t limit, Box* box) {
  if (limit - at < kBoxHead) return kBoxBad;
  if (at + kBoxHead > count) return kBoxNotHere;
  uint64_t size = ReadBe32(b + at);
  size_t head = kBoxHead;
  if (size == 1) {  // a 64-bit size follows the type
    if (at + 16 > count) return kBoxNotHere;
    size = (uint64_t)ReadBe32(b + at + 8) << 32 | ReadBe32(b + at + 12);
    head = 16;
  } else if (size == 0) {  // runs to the end of the file
    size = limit - at;
  }
  if (size < head || size > limit - at) return kBoxBad;
  box->type = b + at + 4;
  box->payload = at + head;
  box->end = at + (size_t)size;
  return kBoxOk;
}

// The first child of [from, end) of the given type.
BoxRead FindChild(const BYTE* b, size_t count, size_t from, size_t end, const char* type,
                  Box* found) {
  for (size_t at = from; at < end;) {
    Box box;
    BoxRead r = NextBox(b, count, at, end, &box);
    if (r != kBoxOk) return r;
    if (Is(box.type, type)) {
      *found = box;
      return kBoxOk;
    }
    at = box.end;
  }
  return kBoxBad;
}

DeclaredSize FromBoxRead(BoxRead r) { return r == kBoxNotHere ? kSizeNotHere : kSizeDamaged; }

DeclaredSize IsobmffSize(const BYTE* b, size_t count, int* width, int* height) {
  // The file's own end is unknown here; boxes are bounded by their parents.
  const size_t whole = SIZE_MAX;
  Box meta, iprp, ipco;
  BoxRead r = FindChild(b, count, 0, whole, "meta", &meta);
  if (r != kBoxOk) return FromBoxRead(r);
  if (meta.end - meta.payload < 4) return kSizeDamaged;
  r = FindChild(b, count, meta.payload + 4, meta.end, "iprp", &iprp);
  if (r == kBoxOk) r = FindChild(b, count, iprp.payload, iprp.end, "ipco", &ipco);
  if (r != kBoxOk) return FromBoxRead(r);
  // Every ispe among the properties; the largest bounds them all.
  uint64_t bestArea = 0;
  uint32_t bestW = 0, bestH = 0;
  for (size_t at = ipco.payload; at < ipco.end;) {
    Box box;
    r = NextBox(b, count, at, ipco.end, &box);
    if (r != kBoxOk) return FromBoxRead(r);
    if (Is(box.type, "ispe")) {
      // Version and flags, then the two sides.
      if (box.end - box.payload < 12) return kSizeDamaged;
      if (box.payload + 12 > count) return kSizeNotHere;
      const uint32_t w = ReadBe32(b + box.payload + 4), h = ReadBe32(b + box.payload + 8);
      if (bestArea == 0 || (uint64_t)w * h > bestArea) {
        bestArea = (uint64_t)w * h;
        bestW = w;
        bestH = h;
      }
    }
    at = box.end;
  }
  return Sides(bestW, bestH, width, height);
}

// --- TIFF --------------------------------------------------------------------

DeclaredSize TiffSize(const BYTE* b, size_t count, int* width, int* height) {
  if (count < kTiffHead) return kSizeNotHere;
  const bool little = b[0] == 'I';
  auto u16 = [&](size_t at) { return little ? (uint32_t)ReadLe16(b + at) : ReadBe16(b + at); };
  auto u32 = [&](size_t at) { return little ? (uint32_t)ReadLe32(b + at) : ReadBe32(b + at); };
  const size_t ifd = u32(4);
  if (ifd < kTiffHead) return kSizeDamaged;
  if (ifd + 2 > count) return kSizeNotHere;
  const size_t entries = u16(ifd);
  if (ifd + 2 + entries * kIfdEntry > count) return kSizeNotHere;
  uint32_t w = 0, h = 0;
  for (size_t i = 0; i < entries; i++) {
    const size_t e = ifd + 2 + i * kIfdEntry;
    const uint32_t tag = u16(e), type = u16(e + 2), n = u32(e + 4);
    if (tag != kTagImageWidth && tag != kTagImageLength) continue;
    if (n != 1 || (type != kTypeShort && type != kTypeLong)) return kSizeDamaged;
    const uint32_t value = type == kTypeShort ? u16(e + 8) : u32(e + 8);
    (tag == kTagImageWidth ? w : h) = value;
  }
  return Sides(w, h, width, height);
}

}  // namespace

bool MayBePhotoFormat(const BYTE* head, size_t count) {
  if (count < 8) return false;
  return Is(head, "RIFF") || Is(head + 4, "ftyp") || memcmp(head, kTiffLittle, 4) == 0 ||
         memcmp(head, kTiffBig, 4) == 0;
}

PhotoFormat SniffPhotoFormat(const BYTE* head, size_t count) {
  if (count >= kRiffHead && Is(head, "RIFF") && Is(head + 8, "WEBP")) return kPhotoWebp;
  if (count >= 4 && (memcmp(head, kTiffLittle, 4) == 0 || memcmp(head, kTiffBig, 4) == 0))
    return kPhotoTiff;
  if (count < 16 || !Is(head + 4, "ftyp")) return kPhotoNone;
  const uint32_t size = ReadBe32(head);
  if (size < 16 || size > kMaxFtypBytes || size > count || (size - 16) % 4 != 0)
    return kPhotoNone;
  // The major brand first; then the compatible ones, AVIF before HEIF since
  // AVIF files list mif1 too.
  const BYTE* major = head + 8;
  if (BrandIn(major, kAvifBrands)) return kPhotoAvif;
  if (BrandIn(major, kHeifBrands)) return kPhotoHeif;
  for (uint32_t at = 16; at < size; at += 4)
    if (BrandIn(head + at, kAvifBrands)) return kPhotoAvif;
  for (uint32_t at = 16; at < size; at += 4)
    if (BrandIn(head + at, kHeifBrands)) return kPhotoHeif;
  return kPhotoNone;
}

const char* PhotoLoaderType(PhotoFormat format) {
  switch (format) {
    case kPhotoWebp: return "webp";
    case kPhotoHeif: return "heif/avif";  // libheif's loader registers this name
    case kPhotoAvif: return "avif";
    case kPhotoTiff: return "tiff";
    default: return nullptr;
  }
}

bool PhotoLoaderSignalsSizeFirst(PhotoFormat format) {
  return format == kPhotoWebp || format == kPhotoTiff;
}

unsigned PhotoWorkBytesPerPixel(PhotoFormat format) {
  // Up to three 8-bit planes (6 at 10 bits) decoded, or one more RGBA copy
  // when the AVIF loader turns or the WebP animation keeps its canvas.
  switch (format) {
    case kPhotoHeif:
    case kPhotoAvif:
    case kPhotoWebp: return 4;
    default: return 0;
  }
}

DeclaredSize ReadDeclaredSize(PhotoFormat format, const BYTE* bytes, size_t count, int* width,
                              int* height) {
  switch (format) {
    case kPhotoWebp: return WebpSize(bytes, count, width, height);
    case kPhotoHeif:
    case kPhotoAvif: return IsobmffSize(bytes, count, width, height);
    case kPhotoTiff: return TiffSize(bytes, count, width, height);
    default: return kSizeDamaged;
  }
}
