// gdk-pixbuf, loaded when the first picture that needs it comes (a PNG, GIF,
// BMP, a photo format, or a PNG screenshot): with GLib and GIO it is a tenth
// of the libraries a start would otherwise map and relocate, and most runs
// show JPEG files only.
//
// Contract: PixbufLibrary() loads the library once (thread-safe) and says
// whether it is there; Gdk() is its table of calls, to be used only after
// PixbufLibrary() returned true. Each call has the library's own name and
// type, so the compiler checks every use against the library's header.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#define VIEWER_PIXBUF_CALLS(X)        \
  X(gdk_pixbuf_error_quark)           \
  X(gdk_pixbuf_get_bits_per_sample)   \
  X(gdk_pixbuf_get_colorspace)        \
  X(gdk_pixbuf_get_has_alpha)         \
  X(gdk_pixbuf_get_height)            \
  X(gdk_pixbuf_get_n_channels)        \
  X(gdk_pixbuf_get_option)            \
  X(gdk_pixbuf_get_pixels)            \
  X(gdk_pixbuf_get_rowstride)         \
  X(gdk_pixbuf_get_width)             \
  X(gdk_pixbuf_loader_close)          \
  X(gdk_pixbuf_loader_get_pixbuf)     \
  X(gdk_pixbuf_loader_new_with_type)  \
  X(gdk_pixbuf_loader_set_size)       \
  X(gdk_pixbuf_loader_write)          \
  X(gdk_pixbuf_new)                   \
  X(gdk_pixbuf_read_pixels)           \
  X(gdk_pixbuf_save)                  \
  X(gdk_pixbuf_scale_simple)          \
  X(g_error_free)                     \
  X(g_object_ref)                     \
  X(g_object_unref)                   \
  X(g_signal_connect_data)

struct PixbufCalls {
#define VIEWER_PIXBUF_FIELD(name) decltype(&::name) name;
  VIEWER_PIXBUF_CALLS(VIEWER_PIXBUF_FIELD)
#undef VIEWER_PIXBUF_FIELD
};

// True once the library and every call in the table are there.
bool PixbufLibrary();
const PixbufCalls& Gdk();
