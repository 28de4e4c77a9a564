// viewer-sample: writes a synthetic photo-like JPEG file.
//
//   viewer-sample [--width W] [--height H] [--quality Q] [--grey]
//                 [--progressive] [--seed N] OUTPUT.jpg
//
// Exit 0 when written, 1 when it could not be written, 2 for a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "samples/jpeg_samples.h"
#include "tools/args.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: viewer-sample [--width W] [--height H] [--quality Q] [--grey] "
          "[--progressive] [--seed N] OUTPUT.jpg\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  JpegSampleOptions o;
  const char* output = nullptr;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    long v;
    if (strcmp(a, "--grey") == 0) {
      o.components = 1;
    } else if (strcmp(a, "--progressive") == 0) {
      o.progressive = true;
    } else if (strcmp(a, "--width") == 0 || strcmp(a, "--height") == 0) {
      if (++i >= argc || !ParseNumber(argv[i], 1, 65500, &v)) return Usage();
      (a[2] == 'w' ? o.width : o.height) = (int)v;
    } else if (strcmp(a, "--quality") == 0) {
      if (++i >= argc || !ParseNumber(argv[i], 1, 100, &v)) return Usage();
      o.quality = (int)v;
    } else if (strcmp(a, "--seed") == 0) {
      if (++i >= argc || !ParseNumber(argv[i], 0, 4294967295L, &v)) return Usage();
      o.seed = (unsigned)v;
    } else if (a[0] == '-' && a[1] == '-') {
      return Usage();
    } else if (!output) {
      output = a;
    } else {
      return Usage();
    }
  }
  if (!output) return Usage();
  if (!WriteJpegSample(output, o)) {
    fprintf(stderr, "viewer-sample: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
