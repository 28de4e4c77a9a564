// The three formats' structure walked byte by byte, as far as their ends:
// PNG's chunks up to IEND, GIF's blocks up to the end of the first picture
// (the only one shown), a BMP's headers and then its pixel array by size.
#include "platform/picture_extent.h"

#include <cstring>

#include "platform/byte_order.h"

namespace {

enum State {
  SKIP,  // bytes passed over, then back to `resume`
  DONE,
  // PNG
  PNG_SIGNATURE,
  PNG_CHUNK_HEAD,  // length and type
  PNG_IHDR,        // width and height
  // GIF
  GIF_HEADER,      // signature and logical screen, 13 bytes
  GIF_INTRODUCER,
  GIF_LABEL,
  GIF_SUB_SIZE,    // an extension's sub-blocks
  GIF_DESCRIPTOR,  // 9 bytes
  GIF_MIN_CODE,
  GIF_DATA_SIZE,   // the picture's sub-blocks; a zero ends it
  // BMP
  BMP_HEAD,
  BMP_PIXELS,
};

const int kPngSignatureBytes = 8;
const int kPngChunkHeadBytes = 8;
const int kPngIhdrSizeBytes = 8;
const int kPngCrcBytes = 4;
const int kGifHeaderBytes = 13;
const int kGifDescriptorBytes = 9;
const int kBmpCoreInfo = 12;
const int kBmpCoreHeadBytes = 26;  // file header and a core info header
const int kBmpInfoHeadBytes = 34;  // ... an info header up to the compression
const uint32_t kBmpRle8 = 1, kBmpRle4 = 2;

uint64_t MulSat(uint64_t a, uint64_t b) {
  return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b;
}
uint64_t AddSat(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// Room for the side data and `pixels` pixels past what was seen so far.
void LimitFrom(PictureExtent* e, uint64_t pixels, uint64_t bytesPerPixel) {
  e->limit = AddSat(e->seen, AddSat(kExtentSideBytes, MulSat(pixels, bytesPerPixel)));
}

int GifTableBytes(BYTE flags) { return (flags & 0x80) ? 3 * (2 << (flags & 7)) : 0; }

// Gathers want bytes into the field; true once they are all there.
bool Gather(PictureExtent* e, BYTE b, int want) {
  e->field[e->have++] = b;
  if (e->have < want) return false;
  e->have = 0;
  return true;
}

void Resume(PictureExtent* e, int state) {
  e->state = state;
  if (state == DONE) e->complete = true;
}

void Skip(PictureExtent* e, uint64_t count, int then) {
  e->skip = count;
  e->resume = then;
  if (count) e->state = SKIP;
  else Resume(e, then);
}

void TakePng(PictureExtent* e, BYTE b) {
  switch (e->state) {
    case PNG_SIGNATURE:
      if (Gather(e, b, kPngSignatureBytes)) e->state = PNG_CHUNK_HEAD;
      break;
    case PNG_CHUNK_HEAD: {
      if (!Gather(e, b, kPngChunkHeadBytes)) break;
      const uint64_t rest = (uint64_t)ReadBe32(e->field) + kPngCrcBytes;
      if (memcmp(e->field + 4, "IHDR", 4) == 0 && rest >= kPngIhdrSizeBytes + kPngCrcBytes) {
        e->skip = rest - kPngIhdrSizeBytes;
        e->state = PNG_IHDR;
      } else {
        Skip(e, rest, memcmp(e->field + 4, "IEND", 4) == 0 ? DONE : PNG_CHUNK_HEAD);
      }
      break;
    }
    case PNG_IHDR:
      if (!Gather(e, b, kPngIhdrSizeBytes)) break;
      LimitFrom(e, MulSat(ReadBe32(e->field), ReadBe32(e->field + 4)), kPngBytesPerPixel);
      Skip(e, e->skip, PNG_CHUNK_HEAD);
      break;
  }
}

void TakeGif(PictureExtent* e, BYTE b) {
  switch (e->state) {
    case GIF_HEADER:
      if (!Gather(e, b, kGifHeaderBytes)) break;
      LimitFrom(e, (uint64_t)ReadLe16(e->field + 6) * ReadLe16(e->field + 8), kGifBytesPerPixel);
      Skip(e, (uint64_t)GifTableBytes(e->field[10]), GIF_INTRODUCER);
      break;
    case GIF_INTRODUCER:
      // After the blocks only the trailer may come, or nothing a picture can
      // come from: the decoder judges with what it has.
      if (b == 0x21) e->state = GIF_LABEL;
      else if (b == 0x2C) e->state = GIF_DESCRIPTOR;
      else Resume(e, DONE);
      break;
    case GIF_LABEL:
      e->state = GIF_SUB_SIZE;
      break;
    case GIF_SUB_SIZE:
      if (b == 0) e->state = GIF_INTRODUCER;
      else Skip(e, b, GIF_SUB_SIZE);
      break;
    case GIF_DESCRIPTOR: {
      if (!Gather(e, b, kGifDescriptorBytes)) break;
      const uint64_t screen = e->limit;
      LimitFrom(e, (uint64_t)ReadLe16(e->field + 4) * ReadLe16(e->field + 6), kGifBytesPerPixel);
      if (e->limit < screen) e->limit = screen;
      Skip(e, (uint64_t)GifTableBytes(e->field[8]), GIF_MIN_CODE);
      break;
    }
    case GIF_MIN_CODE:
      e->state = GIF_DATA_SIZE;
      break;
    case GIF_DATA_SIZE:
      // A zero ends the first picture, the only one shown.
      if (b == 0) Resume(e, DONE);
      else Skip(e, b, GIF_DATA_SIZE);
      break;
  }
}

// Once the headers are in: the pixel array's end (run-length data at its
// largest), and nothing is needed past it.
void BmpLimit(PictureExtent* e) {
  const BYTE* h = e->field;
  const uint64_t offset = ReadLe32(h + 10);
  uint64_t width, height, depth;
  uint32_t compression = 0;
  if (ReadLe32(h + 14) == kBmpCoreInfo) {
    width = ReadLe16(h + 18), height = ReadLe16(h + 20), depth = ReadLe16(h + 24);
  } else {
    const int32_t w = (int32_t)ReadLe32(h + 18), hh = (int32_t)ReadLe32(h + 22);
    width = w < 0 ? 0 : (uint64_t)w;
    height = hh < 0 ? (uint64_t)(-(int64_t)hh) : (uint64_t)hh;
    depth = ReadLe16(h + 28);
    compression = ReadLe32(h + 30);
  }
  uint64_t rowBytes = (MulSat(width, depth) + 31) / 32 * 4;
  if (compression == kBmpRle8 || compression == kBmpRle4)
    rowBytes = AddSat(MulSat(width, kBmpRleBytesPerPixel), kBmpRleBytesPerRow);
  e->limit = AddSat(AddSat(offset, MulSat(rowBytes, height)), kBmpRleBytesPerRow);
  if (e->limit < e->seen + 1) e->limit = e->seen + 1;
  e->state = BMP_PIXELS;
}

void TakeBmp(PictureExtent* e, BYTE b) {
  if (e->state != BMP_HEAD) return;
  e->field[e->have++] = b;
  if (e->have == kBmpCoreHeadBytes && ReadLe32(e->field + 14) == kBmpCoreInfo) BmpLimit(e);
  else if (e->have == kBmpInfoHeadBytes) BmpLimit(e);
}

}  // namespace

void PictureExtentStart(PictureExtent* e, const char* type) {
  memset(e, 0, sizeof(*e));
  e->limit = UINT64_MAX;
  if (strcmp(type, "png") == 0) {
    e->format = kExtentPng;
    e->state = PNG_SIGNATURE;
  } else if (strcmp(type, "gif") == 0) {
    e->format = kExtentGif;
    e->state = GIF_HEADER;
  } else if (strcmp(type, "bmp") == 0) {
    e->format = kExtentBmp;
    e->state = BMP_HEAD;
  }
  if (e->format != kExtentNone) e->limit = kExtentSideBytes;
}

DWORD PictureExtentTake(PictureExtent* e, const BYTE* bytes, DWORD count) {
  if (e->format == kExtentNone) return count;
  DWORD taken = 0;
  while (taken < count && !e->complete && e->seen < e->limit) {
    const BYTE b = bytes[taken++];
    if (e->state == SKIP) {
      if (--e->skip == 0) Resume(e, e->resume);
    } else if (e->format == kExtentPng) TakePng(e, b);
    else if (e->format == kExtentGif) TakeGif(e, b);
    else TakeBmp(e, b);
    e->seen++;
  }
  if (e->seen >= e->limit) e->complete = true;
  return taken;
}
