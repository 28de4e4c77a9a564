// The JPEG path from file bytes to bitmap, as a thumbnail or in the viewer
// under each fit mode, plainly and with --photos (EXIF orientation and
// preview read). The last byte picks the mode: a decoder stops reading at
// the end of the picture, so seed files stay valid pictures.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <string>

#include "imaging/photos.h"
#include "imaging/picture.h"
#include "platform/files.h"
#include "platform/gdi.h"

namespace {

const WCHAR kDevicePath[] = L"\\f.jpg";

// The scratch device root, made once per process; its file is rewritten for
// every input.
std::string hostFile;

char scratch[64];  // the folder made, removed at exit

void RemoveRoot() {
  std::error_code ignored;
  if (scratch[0]) std::filesystem::remove_all(scratch, ignored);
}

bool Setup() {
  char dir[] = "/tmp/viewer-jpeg-fuzz-XXXXXX";
  if (!mkdtemp(dir) || !PlatformSetDeviceRoot(dir)) abort();
  strcpy(scratch, dir);
  atexit(RemoveRoot);
  hostFile = std::string(dir) + "/f.jpg";
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = Setup();
  (void)ready;
  FILE* f = fopen(hostFile.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
  // 0: thumbnail; 1..3: viewer with fit modes 0..2; 4..7 the same for photos.
  const int last = size ? data[size - 1] : 0;
  const int mode = last % 4;
  SetPhotosMode((last / 4) % 2 == 1);
  PictureBitmap bitmap = LoadPicture(nullptr, kDevicePath, mode == 0, mode ? mode - 1 : 0);
  if (bitmap) DeleteObject(bitmap);
  return 0;
}
