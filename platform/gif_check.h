// A streaming check of a GIF file's first picture, run beside the decoder:
// the decoder we build on draws a frame that holds an impossible LZW code or
// a colour index past its colour table as best it can, and cannot say so.
// Such a picture is damaged and must give none.
#pragma once

#include <cstddef>
#include <cstdint>

struct GifCheck {
  int state;
  uint8_t header[13];  // collected header or image descriptor bytes
  int have;            // bytes of the current fixed part collected so far
  long skip;           // bytes of a table or sub-block still to pass over
  int colours;         // entries of the colour table in force; 0 for none
  int minCodeSize;
  int codeSize;
  int nextCode;
  bool hasPrevious;
  uint32_t bits;       // LZW bits not used yet, lowest first
  int bitCount;
  bool damaged;
};

void GifCheckStart(GifCheck* check);
// Any split of the file into pieces gives the same verdict.
void GifCheckFeed(GifCheck* check, const uint8_t* bytes, size_t count);
// True once the first picture was seen to hold an impossible code or colour.
bool GifCheckDamaged(const GifCheck* check);
