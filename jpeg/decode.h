// The one decode loop over the JPEG library: the input and what becomes of
// the picture are the caller's, the library's set-up, the row loop and the
// clean-up after a fatal library error are here.
#pragma once

#include "jpeg/binding.h"

// Everything the library keeps for one decode. Plain data: the caller keeps
// it in its own heap state, which is still there after the fatal exit's
// longjmp.
struct JpegDecodeState {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegProgress progress;
  JpegPullSource source;
};

// Where the bytes come from (see JpegSetupPullSource) and who may abandon
// the decode (see JpegSetupProgress; watched may be null).
struct JpegInput {
  JpegPull pull;
  void* context;
  uint8_t* buffer;
  size_t bufferMax;
  size_t have;
  bool ended;
  const std::atomic<uint32_t>* watched;
  uint32_t expected;
  JpegExifBlock* exif;  // filled from the header when set
};

// The caller's steps, run inside the loop: a library error in any of them
// fails the decode like one in the loop itself. Each gets the caller's
// context; 0 from a step fails the decode.
struct JpegSteps {
  // After the header (the input limited by its declared size): the settings
  // (JpegApplySettings) and the caller's checks. It may read another header
  // on the same object (an embedded preview), from a source of its own.
  int (*header)(void* context, jpeg_decompress_struct* cinfo);
  // After jpeg_start_decompress, with 1, 3 or 4 output components: the
  // output's size is known, so the rows' room can be made.
  int (*started)(void* context, jpeg_decompress_struct* cinfo);
  // Where output row y goes: output_width red, green, blue triples.
  uint8_t* (*row)(void* context, int y);
  // Every row is in place; before the library reads on to the end of the
  // data. May be null.
  int (*rowsDone)(void* context);
};

// Creates the object in s, reads the header, runs the steps and every row,
// and reads on to the end-of-image marker (within the source's limit);
// the object is destroyed before it returns, whatever happened. 1 when all
// of it went through. Data cut short gives the rest of the picture as the
// library leaves it, and still 1.
int JpegRunDecode(JpegDecodeState* s, const JpegInput& input, const JpegSteps& steps,
                  void* context);
