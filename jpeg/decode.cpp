// The decode loop every JPEG picture goes through.
#include "jpeg/decode.h"

namespace {

// Rows asked of the library per call when it writes in place: a whole row
// group of the largest sampling (4 x 8 rows at full scale), so each call
// hands over all it has.
const JDIMENSION kRowsAtOnce = 32;

// From the object's creation to the end of the data. 0 after a failure
// that left the object alive; a fatal library error never returns here but
// lands at JpegRunDecode's setjmp.
__attribute__((noinline)) int Run(JpegDecodeState* s, const JpegInput& in, const JpegSteps& steps,
                                  void* context) {
  jpeg_decompress_struct* cinfo = &s->cinfo;
  jpeg_create_decompress(cinfo);
  JpegSetupProgress(cinfo, &s->progress, in.watched, in.expected);
  // Reading the EXIF segment changes nothing in the pixels.
  if (in.exif) JpegKeepExif(cinfo, in.exif);
  JpegSetupPullSource(cinfo, &s->source, in.pull, in.context, in.buffer, in.bufferMax, in.have,
                      in.ended);
  jpeg_read_header(cinfo, TRUE);
  JpegLimitInput(cinfo);
  if (!steps.header(context, cinfo)) return 0;
  jpeg_start_decompress(cinfo);
  const int components = cinfo->output_components;
  if (components != 1 && components != 3 && components != 4) return 0;
  if (!steps.started(context, cinfo)) return 0;
  // The source never suspends; a zero count would only spin.
  if (components == 3) {
    // Red, green, blue already: the library writes into the caller's rows.
    JSAMPROW rows[kRowsAtOnce];
    while (cinfo->output_scanline < cinfo->output_height) {
      const JDIMENSION y = cinfo->output_scanline;
      const JDIMENSION left = cinfo->output_height - y;
      const JDIMENSION count = left < kRowsAtOnce ? left : kRowsAtOnce;
      for (JDIMENSION i = 0; i < count; i++) rows[i] = steps.row(context, (int)(y + i));
      if (jpeg_read_scanlines(cinfo, rows, count) == 0) return 0;
    }
  } else {
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)((j_common_ptr)cinfo, JPOOL_IMAGE,
                                                 cinfo->output_width * (JDIMENSION)components, 1);
    const bool adobe = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
      uint8_t* out = steps.row(context, (int)cinfo->output_scanline);
      if (jpeg_read_scanlines(cinfo, row, 1) != 1) return 0;
      JpegRowToRgb(row[0], components, (int)cinfo->output_width, adobe, out);
    }
  }
  if (steps.rowsDone && !steps.rowsDone(context)) return 0;
  // Up to the end-of-image marker: a damaged one fails the decode.
  jpeg_finish_decompress(cinfo);
  return 1;
}

}  // namespace

// As the library's own example: the fatal exit only jumps back, and the
// clean-up is here. This frame holds no object with a destructor, and
// nothing of it changes after setjmp but what lives in *s.
int JpegRunDecode(JpegDecodeState* s, const JpegInput& input, const JpegSteps& steps,
                  void* context) {
  s->cinfo.err = JpegSetupErrorManager(&s->err);
  if (setjmp(s->err.failurePath)) {
    jpeg_destroy_decompress(&s->cinfo);
    return 0;
  }
  const int done = Run(s, input, steps, context);
  jpeg_destroy_decompress(&s->cinfo);
  return done;
}
