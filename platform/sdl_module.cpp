// Finds and loads the window module, relative to the running executable.
#include "platform/sdl_module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// From the executable's folder: the build tree keeps the module beside it;
// an installed program finds it in its library folder (set by the build).
#ifndef VIEWER_MODULE_SUBDIR
#define VIEWER_MODULE_SUBDIR "../lib/korvane-viewer"
#endif
const char* const kModuleFolders[] = {".", VIEWER_MODULE_SUBDIR};

const SdlModule* loaded = nullptr;
bool tried = false;

// The executable's folder, with a trailing slash; "" when unknown.
bool ExecutableFolder(char* out, size_t size) {
  ssize_t n = readlink("/proc/self/exe", out, size - 1);
  if (n <= 0 || (size_t)n >= size - 1) return false;
  out[n] = 0;
  char* slash = strrchr(out, '/');
  if (!slash) return false;
  slash[1] = 0;
  return true;
}

const SdlModule* LoadFrom(const char* path) {
  // RTLD_NOW: a module that does not fit this program fails here, not
  // half-way through a paint.
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    fprintf(stderr, "korvane-viewer: cannot load %s: %s\n", path, why ? why : "unknown");
    return nullptr;
  }
  SdlModuleEntry entry = (SdlModuleEntry)dlsym(handle, VIEWER_SDL_MODULE_ENTRY);
  const SdlModule* table = entry ? entry(kSdlModuleVersion) : nullptr;
  if (!table) {
    fprintf(stderr, "korvane-viewer: %s does not fit this program\n", path);
    dlclose(handle);
  }
  return table;
}

}  // namespace

const SdlModule* PlatformSdlModule() {
  if (tried) return loaded;
  tried = true;
  char folder[PATH_MAX];
  if (!ExecutableFolder(folder, sizeof folder)) return nullptr;
  for (const char* sub : kModuleFolders) {
    char path[PATH_MAX + 64];
    if (snprintf(path, sizeof path, "%s%s/%s", folder, sub, VIEWER_SDL_MODULE_FILE) >=
        (int)sizeof path)
      continue;
    if (access(path, F_OK) != 0) continue;
    loaded = LoadFrom(path);
    return loaded;
  }
  fprintf(stderr, "korvane-viewer: the window module %s is missing\n", VIEWER_SDL_MODULE_FILE);
  return nullptr;
}
