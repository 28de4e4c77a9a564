// PNG writing through gdk-pixbuf.
#include "platform/png_write.h"

#include "platform/pixbuf_library.h"

namespace {

// Far above any icon; keeps w * h * 4 well inside an int for gdk-pixbuf.
const int kMaxPngSide = 8192;

int WritePng(const char* path, int w, int h, const uint32_t* argb, bool alpha) {
  if (!path || !argb || w < 1 || h < 1 || w > kMaxPngSide || h > kMaxPngSide) return 0;
  if (!PixbufLibrary()) return 0;
  GdkPixbuf* pixbuf = Gdk().gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, w, h);
  if (!pixbuf) return 0;
  guchar* out = Gdk().gdk_pixbuf_get_pixels(pixbuf);
  const int stride = Gdk().gdk_pixbuf_get_rowstride(pixbuf);
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < h; y++) {
    guchar* o = out + (size_t)y * (size_t)stride;
    const uint32_t* in = argb + (size_t)y * (size_t)w;
    for (int x = 0; x < w; x++, o += channels) {
      o[0] = (guchar)(in[x] >> 16);
      o[1] = (guchar)(in[x] >> 8);
      o[2] = (guchar)in[x];
      if (alpha) o[3] = (guchar)(in[x] >> 24);
    }
  }
  gboolean saved = Gdk().gdk_pixbuf_save(pixbuf, path, "png", nullptr, nullptr);
  Gdk().g_object_unref(pixbuf);
  return saved ? 1 : 0;
}

}  // namespace

int WriteRgbaPng(const char* path, int w, int h, const uint32_t* argb) {
  return WritePng(path, w, h, argb, true);
}

int WriteRgbPng(const char* path, int w, int h, const uint32_t* xrgb) {
  return WritePng(path, w, h, xrgb, false);
}
