// Opens gdk-pixbuf by its run-time name and takes its calls (GLib's come
// through it: a handle's look-up also searches the libraries it brought).
#include "platform/pixbuf_library.h"

#include <dlfcn.h>

#include <mutex>

namespace {

const char kLibrary[] = "libgdk_pixbuf-2.0.so.0";

std::once_flag loadOnce;
bool available = false;
PixbufCalls calls;

void Load() {
  // Never closed: pictures and the library's own loaders live on.
  void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (!handle) return;
  bool all = true;
#define VIEWER_PIXBUF_LOOKUP(name)                             \
  calls.name = (decltype(calls.name))dlsym(handle, #name);     \
  all = all && calls.name != nullptr;
  VIEWER_PIXBUF_CALLS(VIEWER_PIXBUF_LOOKUP)
#undef VIEWER_PIXBUF_LOOKUP
  available = all;
}

}  // namespace

bool PixbufLibrary() {
  std::call_once(loadOnce, Load);
  return available;
}

const PixbufCalls& Gdk() { return calls; }
