// JPEG data met by the image decoder service under another name, decoded
// by the one JPEG decode loop into the rows the decoder hands over.
#include <cstdlib>

#include "jpeg/decode.h"
#include "platform/exif.h"
#include "platform/jpeg_stream.h"

namespace {

// Everything one decode owns. Plain data on the heap: it crosses a longjmp.
struct StreamDecode {
  JpegDecodeState jpeg;
  const JpegStream* stream;
  BYTE* rows;
  size_t stride;
  JpegExifBlock exif;  // when the orientation is wanted
};

long PullStream(void* context, uint8_t* buffer, size_t max) {
  const JpegStream* s = (const JpegStream*)context;
  return (long)s->pull(s->context, buffer, (DWORD)max);
}

// The orientation when asked for, then the caller's scale.
int OnHeader(void* context, jpeg_decompress_struct* cinfo) {
  StreamDecode* d = (StreamDecode*)context;
  const JpegStream& s = *d->stream;
  if (s.orientation) {
    ExifFacts facts;
    ReadExifFacts(d->exif.bytes, d->exif.size, &facts);
    *s.orientation = facts.orientation;
    FreeExifFacts(&facts);
  }
  const int denom = s.scale(s.context, (int)cinfo->image_width, (int)cinfo->image_height);
  if (denom == 0) return 0;
  JpegApplySettings(cinfo, denom, s.memoryLimit);
  return 1;
}

int OnStarted(void* context, jpeg_decompress_struct* cinfo) {
  StreamDecode* d = (StreamDecode*)context;
  const JpegStream& s = *d->stream;
  d->rows = s.rows(s.context, (int)cinfo->output_width, (int)cinfo->output_height, &d->stride);
  return d->rows != nullptr;
}

uint8_t* StreamRow(void* context, int y) {
  StreamDecode* d = (StreamDecode*)context;
  return d->rows + (size_t)y * d->stride;
}

const JpegSteps kSteps = {OnHeader, OnStarted, StreamRow, nullptr};

int DecodeJpegStream(const JpegStream& stream) {
  StreamDecode* const d = (StreamDecode*)calloc(1, sizeof(StreamDecode));
  if (!d) return 0;
  d->stream = &stream;
  const JpegInput input = {PullStream,       (void*)&stream, stream.buffer,
                           stream.bufferMax, stream.have,    stream.ended,
                           nullptr,          0,              stream.orientation ? &d->exif : nullptr};
  const int done = JpegRunDecode(&d->jpeg, input, kSteps, d);
  free(d);
  return done;
}

// Installed while the program starts, before anything can decode; this
// file is linked into every program that links the system (CMakeLists.txt).
[[maybe_unused]] const bool kInstalled = (ImageDecoderUseJpeg(DecodeJpegStream), true);

}  // namespace
