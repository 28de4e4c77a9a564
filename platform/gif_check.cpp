// The GIF structure walked byte by byte up to the end of the first picture,
// its LZW codes followed without building the string table: which codes are
// possible depends only on how many entries the table holds, and every
// colour index of the picture enters it as a single-pixel code.
#include "platform/gif_check.h"

#include <cstring>

namespace {

enum State {
  ST_HEADER,        // signature and logical screen, 13 bytes
  ST_SKIP_TABLE,    // global colour table
  ST_INTRODUCER,    // 0x21 extension, 0x2C picture, 0x3B trailer
  ST_EXT_LABEL,
  ST_EXT_SIZE,      // extension sub-blocks until a zero size
  ST_EXT_DATA,
  ST_DESCRIPTOR,    // picture descriptor, 9 bytes
  ST_SKIP_LOCAL,    // local colour table
  ST_MIN_CODE,
  ST_DATA_SIZE,     // picture data sub-blocks
  ST_DATA,
  ST_DONE,          // first picture over, or nothing more to judge
};

const int kMaxCodes = 4096;  // LZW codes are at most 12 bits

// One LZW code of the picture. Marks the check damaged for a code that no
// table could hold yet, or a colour index past the table in force.
void TakeCode(GifCheck* c, int code) {
  const int clear = 1 << c->minCodeSize;
  if (code == clear) {
    c->nextCode = clear + 2;
    c->codeSize = c->minCodeSize + 1;
    c->hasPrevious = false;
    return;
  }
  if (code == clear + 1) {
    c->state = ST_DONE;  // end of the picture
    return;
  }
  // Right after a clear only single pixels exist; later the entry being
  // made (code == nextCode) is the one code beyond the table that is valid.
  if (code > c->nextCode || (!c->hasPrevious && code >= clear)) {
    c->damaged = true;
    c->state = ST_DONE;
    return;
  }
  if (code < clear && c->colours > 0 && code >= c->colours) {
    c->damaged = true;
    c->state = ST_DONE;
    return;
  }
  if (c->hasPrevious && c->nextCode < kMaxCodes) {
    c->nextCode++;
    if (c->nextCode == (1 << c->codeSize) && c->codeSize < 12) c->codeSize++;
  }
  c->hasPrevious = true;
}

void TakeDataByte(GifCheck* c, uint8_t byte) {
  c->bits |= (uint32_t)byte << c->bitCount;
  c->bitCount += 8;
  while (c->state == ST_DATA && c->bitCount >= c->codeSize) {
    int code = (int)(c->bits & ((1u << c->codeSize) - 1));
    c->bits >>= c->codeSize;
    c->bitCount -= c->codeSize;
    TakeCode(c, code);
  }
}

// Colour table size from a packed flags byte, 0 when there is none.
int TableEntries(uint8_t flags) { return (flags & 0x80) ? 2 << (flags & 7) : 0; }

}  // namespace

void GifCheckStart(GifCheck* c) {
  memset(c, 0, sizeof(*c));
  c->state = ST_HEADER;
}

bool GifCheckDamaged(const GifCheck* c) { return c->damaged; }

void GifCheckFeed(GifCheck* c, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count && c->state != ST_DONE; i++) {
    const uint8_t b = bytes[i];
    switch (c->state) {
      case ST_HEADER:
        c->header[c->have++] = b;
        if (c->have == 13) {
          c->colours = TableEntries(c->header[10]);
          c->skip = (long)c->colours * 3;
          c->state = c->skip ? ST_SKIP_TABLE : ST_INTRODUCER;
        }
        break;
      case ST_SKIP_TABLE:
      case ST_SKIP_LOCAL:
        if (--c->skip == 0) c->state = c->state == ST_SKIP_TABLE ? ST_INTRODUCER : ST_MIN_CODE;
        break;
      case ST_INTRODUCER:
        if (b == 0x21) {
          c->state = ST_EXT_LABEL;
        } else if (b == 0x2C) {
          c->have = 0;
          c->state = ST_DESCRIPTOR;
        } else {
          c->state = ST_DONE;  // trailer or garbage: the decoder judges
        }
        break;
      case ST_EXT_LABEL:
        c->state = ST_EXT_SIZE;
        break;
      case ST_EXT_SIZE:
        c->skip = b;
        c->state = b ? ST_EXT_DATA : ST_INTRODUCER;
        break;
      case ST_EXT_DATA:
        if (--c->skip == 0) c->state = ST_EXT_SIZE;
        break;
      case ST_DESCRIPTOR:
        c->header[c->have++] = b;
        if (c->have == 9) {
          int local = TableEntries(c->header[8]);
          if (local) c->colours = local;
          c->skip = (long)local * 3;
          c->state = c->skip ? ST_SKIP_LOCAL : ST_MIN_CODE;
        }
        break;
      case ST_MIN_CODE:
        if (b < 1 || b > 11) {
          c->state = ST_DONE;  // not an LZW stream we can follow
          break;
        }
        c->minCodeSize = b;
        c->codeSize = b + 1;
        c->nextCode = (1 << b) + 2;
        c->state = ST_DATA_SIZE;
        break;
      case ST_DATA_SIZE:
        c->skip = b;
        c->state = b ? ST_DATA : ST_DONE;
        break;
      case ST_DATA:
        TakeDataByte(c, b);
        if (c->state == ST_DATA && --c->skip == 0) c->state = ST_DATA_SIZE;
        break;
      default:
        c->state = ST_DONE;
    }
  }
}
