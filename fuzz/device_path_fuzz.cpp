// Device paths to host paths and back, by name. Whatever the path, a host
// result names a place under the device root, and a device result never
// climbs: no "." or ".." component survives in either. Links are not looked
// at: one inside the root may lead anywhere (a Pictures folder on another
// disk), and the viewer follows it on purpose.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace {

// Where a byte of 0x80 and up, with the next byte, lands in the wide
// character range: past ASCII, near the surrogates and the stray-byte
// escapes, past the last code point.
static const uint32_t kWideBases[8] = {0x80, 0x7F0, 0x3000, 0xD7F0, 0xDC00, 0xFFF0, 0x10FFF0, 0x1F600};
// Small folders, so that the caseless match has something to find.
static const char* const kFolders[] = {"Pictures", "Pictures/Holiday 2024", "a", "a/b"};

std::string root;

char scratch[64];  // the folder made, removed at exit

void RemoveRoot() {
  std::error_code ignored;
  if (scratch[0]) std::filesystem::remove_all(scratch, ignored);
}

bool Setup() {
  char dir[] = "/tmp/viewer-path-fuzz-XXXXXX";
  if (!mkdtemp(dir) || !PlatformSetDeviceRoot(dir)) abort();
  strcpy(scratch, dir);
  atexit(RemoveRoot);
  root = PlatformDeviceRoot();
  for (const char* f : kFolders) mkdir((root + "/" + f).c_str(), 0700);
  if (chdir(root.c_str()) != 0) abort();  // relative host paths start inside
  return true;
}

bool Climbs(const char* s, char sep) {
  for (const char* c = s; *c;) {
    while (*c == sep) c++;
    const char* e = c;
    while (*e && *e != sep) e++;
    size_t n = (size_t)(e - c);
    if ((n == 1 && c[0] == '.') || (n == 2 && c[0] == '.' && c[1] == '.')) return true;
    c = e;
  }
  return false;
}

void CheckHost(const char* host, size_t size) {
  size_t n = strlen(host);
  if (n >= size || n < root.size() || strncmp(host, root.c_str(), root.size()) != 0 ||
      (host[root.size()] != 0 && host[root.size()] != '/') ||
      Climbs(host + root.size(), '/'))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = Setup();
  (void)ready;
  std::wstring path;
  for (size_t i = 0; i < size; i++) {
    if (data[i] < 0x80 || i + 1 == size) {
      path += (WCHAR)data[i];
    } else {
      path += (WCHAR)(kWideBases[(data[i] >> 4) & 7] + ((data[i] & 0x0F) << 8 | data[i + 1]));
      i++;
    }
  }
  path = path.c_str();  // up to the first NUL
  // Full-size buffers, and tight ones that long names overflow.
  size_t hostSize = size && (data[0] & 1) ? 1 + size % 700 : 4096;
  char host[4096];
  if (DevicePathToHost(path.c_str(), host, hostSize)) CheckHost(host, hostSize);
  else if (host[0] != 0) __builtin_trap();

  // The same bytes as a host path: relative (from the root), and absolute.
  std::string bytes((const char*)data, size);
  bytes = bytes.c_str();
  size_t wideCount = size && (data[0] & 2) ? 1 + size % 300 : 1024;
  WCHAR device[1024];
  for (const std::string& h : {bytes, root + "/" + bytes}) {
    if (!HostPathToDevice(h.c_str(), device, wideCount)) {
      if (device[0] != 0) __builtin_trap();
      continue;
    }
    std::string narrow;
    for (const WCHAR* w = device; *w; w++) narrow += *w < 0x80 ? (char)*w : 'x';
    if (narrow.size() >= wideCount || Climbs(narrow.c_str(), '\\')) __builtin_trap();
    if (DevicePathToHost(device, host, sizeof host)) CheckHost(host, sizeof host);
  }
  return 0;
}
