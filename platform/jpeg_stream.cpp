// JPEG data pulled through the image decoder's read callback, decoded into
// a pixbuf for the image decoder service.
#include "platform/jpeg_stream.h"

#include <cstdlib>
#include <cstring>

#include "jpeg/binding.h"
#include "platform/exif.h"

namespace {

// Everything one decode owns. Plain data on the heap: it crosses a longjmp.
struct StreamDecode {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegProgress progress;
  JpegPullSource source;
  GdkPixbuf* pixbuf;
  JpegExifBlock exif;  // when the orientation is wanted
};

long PullStream(void* context, uint8_t* buffer, size_t max) {
  const JpegStream* s = (const JpegStream*)context;
  return (long)s->pull(s->context, buffer, (DWORD)max);
}

// Returns 1 with d->pixbuf filled, or 0 after a failure that left the
// object alive (it is destroyed here). A fatal library error lands at the
// setjmp in DecodeJpegStream instead.
__attribute__((noinline)) int Run(StreamDecode* d, const JpegStream& s) {
  jpeg_decompress_struct* cinfo = &d->cinfo;
  cinfo->err = JpegSetupErrorManager(&d->err);
  jpeg_create_decompress(cinfo);
  JpegSetupProgress(cinfo, &d->progress, nullptr, 0);
  JpegSetupPullSource(cinfo, &d->source, PullStream, (void*)&s, s.buffer, s.bufferMax, s.have,
                      s.ended);
  if (s.orientation) JpegKeepExif(cinfo, &d->exif);
  jpeg_read_header(cinfo, TRUE);
  JpegLimitInput(cinfo);
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
  // Up to the end-of-image marker, within the source's limit.
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
