// The libjpeg source manager over a read callback, and the decode into a
// pixbuf for the image decoder service.
#include "platform/jpeg_stream.h"

#include <cstdlib>
#include <cstring>

#include "jpeg/binding.h"
#include "platform/exif.h"

#include <jerror.h>

namespace {

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

struct Source {
  jpeg_source_mgr pub;
  const JpegStream* stream;
  bool ended;
};

// Everything one decode owns. Plain data on the heap: it crosses a longjmp.
struct StreamDecode {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegProgress progress;
  Source source;
  GdkPixbuf* pixbuf;
  JpegExifBlock exif;  // when the orientation is wanted
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The next read; at the end the library is warned and handed an end-of-image
// marker, as its own file source does, so a cut file still decodes.
boolean FillInput(j_decompress_ptr cinfo) {
  Source* src = (Source*)cinfo->src;
  const JpegStream* s = src->stream;
  DWORD got = src->ended ? 0 : s->pull(s->context, s->buffer, s->bufferMax);
  if (got == 0) {
    src->ended = true;
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kFakeEoi;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  src->pub.next_input_byte = s->buffer;
  src->pub.bytes_in_buffer = got;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  Source* src = (Source*)cinfo->src;
  if (count <= 0) return;
  while (count > (long)src->pub.bytes_in_buffer) {
    count -= (long)src->pub.bytes_in_buffer;
    FillInput(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= (size_t)count;
}

// Returns 1 with d->pixbuf filled, or 0 after a failure that left the
// object alive (it is destroyed here). A fatal library error lands at the
// setjmp in DecodeJpegStream instead.
__attribute__((noinline)) int Run(StreamDecode* d, const JpegStream& s) {
  jpeg_decompress_struct* cinfo = &d->cinfo;
  cinfo->err = JpegSetupErrorManager(&d->err);
  jpeg_create_decompress(cinfo);
  JpegSetupProgress(cinfo, &d->progress, nullptr, 0);
  Source* src = &d->source;
  src->stream = &s;
  src->ended = s.ended;
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInput;
  src->pub.skip_input_data = SkipInput;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.next_input_byte = s.buffer;
  src->pub.bytes_in_buffer = s.have;
  cinfo->src = &src->pub;
  if (s.orientation) JpegKeepExif(cinfo, &d->exif);
  jpeg_read_header(cinfo, TRUE);
  if (s.orientation) {
    ExifFacts facts;
    ReadExifFacts(d->exif.bytes, d->exif.size, &facts);
    *s.orientation = facts.orientation;
    FreeExifFacts(&facts);
  }
  int denom = s.scale(s.context, (int)cinfo->image_width, (int)cinfo->image_height);
  int components = 0;
  if (denom == 0) goto fail;
  JpegApplySettings(cinfo, denom, s.memoryLimit);
  jpeg_start_decompress(cinfo);
  components = cinfo->output_components;
  if (components != 1 && components != 3 && components != 4) goto fail;
  d->pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, (int)cinfo->output_width,
                             (int)cinfo->output_height);
  if (!d->pixbuf) goto fail;
  {
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)((j_common_ptr)cinfo, JPOOL_IMAGE,
                                                 cinfo->output_width * (JDIMENSION)components, 1);
    guchar* pixels = gdk_pixbuf_get_pixels(d->pixbuf);
    const size_t stride = (size_t)gdk_pixbuf_get_rowstride(d->pixbuf);
    while (cinfo->output_scanline < cinfo->output_height) {
      const size_t y = cinfo->output_scanline;
      // The source never suspends; a zero count would only spin.
      if (jpeg_read_scanlines(cinfo, row, 1) != 1) goto fail;
      JpegRowToRgb(row[0], components, (int)cinfo->output_width, cinfo->saw_Adobe_marker,
                   pixels + y * stride);
    }
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return 1;
fail:
  jpeg_destroy_decompress(cinfo);
  return 0;
}

}  // namespace

// No object with a destructor here: a fatal library error longjmps back
// into this frame.
GdkPixbuf* DecodeJpegStream(const JpegStream& stream) {
  StreamDecode* const d = (StreamDecode*)calloc(1, sizeof(StreamDecode));
  if (!d) return nullptr;
  GdkPixbuf* pixbuf = nullptr;
  if (setjmp(d->err.failurePath) == 0 && Run(d, stream)) {
    pixbuf = d->pixbuf;
  } else if (d->pixbuf) {
    g_object_unref(d->pixbuf);
  }
  free(d);
  return pixbuf;
}
