// korvane-decode: one LoadPicture call on a host file, the bitmap written as a
// BMP file exactly as it lies in memory.
//
//   korvane-decode [--thumbnail] [--fit 0|1|2] [--screen WxH] [--seed N] INPUT OUTPUT.bmp
//
// Prints "WIDTHxHEIGHT". Exit 0: bitmap written; 1: the loader made none
// (nothing written); 2: usage error, an OUTPUT that cannot be written included.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "imaging/photos.h"
#include "imaging/picture.h"
#include "tools/args.h"
#include "tools/bmp_file.h"
#include "platform/files.h"
#include "platform/gdi.h"

namespace {

const size_t kDevicePathMax = 512;

int Usage() {
  fprintf(stderr,
          "usage: korvane-decode [--photos] [--thumbnail] [--fit 0|1|2] [--screen WxH] [--seed N] "
          "INPUT OUTPUT.bmp\n");
  return 2;
}

bool ParseScreen(const char* text, int* width, int* height) {
  const char* x = text ? strchr(text, 'x') : nullptr;
  if (!x) return false;
  char left[32];
  size_t len = (size_t)(x - text);
  if (len == 0 || len >= sizeof(left)) return false;
  memcpy(left, text, len);
  left[len] = 0;
  long w, h;
  if (!ParseNumber(left, 1, 32767, &w) || !ParseNumber(x + 1, 1, 32767, &h)) return false;
  *width = (int)w;
  *height = (int)h;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool thumbnail = false;
  long fit = FIT_SCREEN_FINE;
  int screenWidth = 240, screenHeight = 320;
  bool seeded = false;
  long seed = 0;
  const char* paths[2];
  int pathCount = 0;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (strcmp(a, "--photos") == 0) {
      SetPhotosMode(true);
    } else if (strcmp(a, "--thumbnail") == 0) {
      thumbnail = true;
    } else if (strcmp(a, "--fit") == 0) {
      if (++i >= argc || !ParseNumber(argv[i], 0, 2, &fit)) return Usage();
    } else if (strcmp(a, "--screen") == 0) {
      if (++i >= argc || !ParseScreen(argv[i], &screenWidth, &screenHeight)) return Usage();
    } else if (strcmp(a, "--seed") == 0) {
      if (++i >= argc || !ParseNumber(argv[i], 0, 4294967295L, &seed)) return Usage();
      seeded = true;
    } else if (a[0] == '-' && a[1] == '-') {
      return Usage();
    } else {
      if (pathCount == 2) return Usage();
      paths[pathCount++] = a;
    }
  }
  if (pathCount != 2) return Usage();
  PlatformSetScreenSize(screenWidth, screenHeight);
  WCHAR device[kDevicePathMax];
  if (!HostPathToDevice(paths[0], device, kDevicePathMax)) {
    fprintf(stderr, "korvane-decode: %s is not a device path\n", paths[0]);
    return 1;
  }
  srand(seeded ? (unsigned)seed : (unsigned)time(nullptr));
  PictureBitmap bitmap = LoadPicture(nullptr, device, thumbnail, (int)fit);
  if (!bitmap) return 1;
  BITMAP bm;
  GetObject(bitmap, sizeof(bm), &bm);
  if (!WriteBmp(paths[1], bitmap)) {
    fprintf(stderr, "korvane-decode: cannot write %s\n", paths[1]);
    DeleteObject(bitmap);
    return 2;
  }
  printf("%dx%d\n", (int)bm.bmWidth, (int)bm.bmHeight);
  DeleteObject(bitmap);
  return 0;
}
