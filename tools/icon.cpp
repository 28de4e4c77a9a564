// viewer-icon: writes the program's icon (resource 101) as a PNG file.
//
//   viewer-icon SIZE OUTPUT.png
//
// Sizes the icon carries (16, 32) are written as drawn; any other size up to
// 256 is the 32 x 32 image scaled by nearest neighbour, so its pixels stay
// sharp. Exit 0 when written, 1 when it could not be, 2 for a usage error.
#include <cstdio>
#include <vector>

#include "platform/png_write.h"
#include "platform/resource.h"
#include "tools/args.h"

namespace {

const int kIconId = 101;
const int kBaseSize = 32;
const int kMaxSize = 256;

int Usage() {
  fprintf(stderr, "usage: viewer-icon SIZE OUTPUT.png\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long size;
  if (argc != 3 || !ParseNumber(argv[1], 1, kMaxSize, &size)) return Usage();
  const int n = (int)size;
  std::vector<uint32_t> pixels((size_t)n * (size_t)n);
  if (!PlatformIconPixels(MAKEINTRESOURCEW(kIconId), n, pixels.data())) {
    std::vector<uint32_t> base(kBaseSize * kBaseSize);
    if (!PlatformIconPixels(MAKEINTRESOURCEW(kIconId), kBaseSize, base.data())) {
      fprintf(stderr, "viewer-icon: the program has no %dx%d icon\n", kBaseSize, kBaseSize);
      return 1;
    }
    for (int y = 0; y < n; y++)
      for (int x = 0; x < n; x++)
        pixels[(size_t)y * n + x] = base[(size_t)(y * kBaseSize / n) * kBaseSize + x * kBaseSize / n];
  }
  if (!WriteRgbaPng(argv[2], n, n, pixels.data())) {
    fprintf(stderr, "viewer-icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
