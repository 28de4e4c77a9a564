// viewer-icon: writes the program's icon as a PNG file, or as an SVG file.
//
//   viewer-icon SIZE OUTPUT.png
//   viewer-icon --svg OUTPUT.svg
//
// Sizes the icon resource carries (16, 32) are written as drawn; any other
// size up to 1024 is drawn from the icon's shapes (resources/icon_design.h),
// as is the SVG file. Exit 0 when written, 1 when it could not be, 2 for a
// usage error.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/png_write.h"
#include "platform/resource.h"
#include "resources/icon_design.h"
#include "tools/args.h"

namespace {

const int kIconId = 101;
const int kMaxSize = 1024;

int Usage() {
  fprintf(stderr, "usage: viewer-icon SIZE OUTPUT.png | viewer-icon --svg OUTPUT.svg\n");
  return 2;
}

int WriteSvg(const char* path) {
  const std::string svg = IconDesignSvg();
  FILE* f = fopen(path, "wb");
  bool ok = f && fwrite(svg.data(), 1, svg.size(), f) == svg.size();
  if (f && fclose(f) != 0) ok = false;
  if (!ok) {
    fprintf(stderr, "viewer-icon: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--svg") return WriteSvg(argv[2]);
  long size;
  if (argc != 3 || !ParseNumber(argv[1], 1, kMaxSize, &size)) return Usage();
  const int n = (int)size;
  std::vector<uint32_t> pixels((size_t)n * (size_t)n);
  // The handheld's own pixel drawings where it has them.
  if (!PlatformIconPixels(MAKEINTRESOURCEW(kIconId), n, pixels.data()) &&
      !DrawIconDesign(n, pixels.data())) {
    fprintf(stderr, "viewer-icon: cannot draw a %dx%d icon\n", n, n);
    return 1;
  }
  if (!WriteRgbaPng(argv[2], n, n, pixels.data())) {
    fprintf(stderr, "viewer-icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
