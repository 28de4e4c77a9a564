// viewer-sample: writes a synthetic photo-like JPEG file.
//
//   viewer-sample [--width W] [--height H] [--quality Q] [--grey]
//                 [--progressive] [--seed N] [--quadrants]
//                 [--orientation N [--preview WxH]] OUTPUT.jpg
//
// --quadrants draws red, green, blue and white quarters under the grain;
// --orientation writes an EXIF block with that tag (1..8), the picture
// stored so that the tag puts it upright at W x H; --preview embeds a
// preview of that size in the block.
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
          "[--progressive] [--seed N] [--quadrants] [--orientation N [--preview WxH]] OUTPUT.jpg\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  JpegSampleOptions o;
  const char* output = nullptr;
  int previewWidth = 0, previewHeight = 0;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    long v;
    if (strcmp(a, "--grey") == 0) {
      o.components = 1;
    } else if (strcmp(a, "--quadrants") == 0) {
      o.quadrants = true;
    } else if (strcmp(a, "--orientation") == 0) {
      if (++i >= argc || !ParseNumber(argv[i], 1, 8, &v)) return Usage();
      o.orientation = (int)v;
    } else if (strcmp(a, "--preview") == 0) {
      if (++i >= argc || sscanf(argv[i], "%dx%d", &previewWidth, &previewHeight) != 2 ||
          previewWidth < 1 || previewHeight < 1 || previewWidth > 400 || previewHeight > 400)
        return Usage();
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
  if (!output || (previewWidth && !o.orientation)) return Usage();
  if (previewWidth && !JpegPreviewBytes(o, previewWidth, previewHeight, &o.exifPreview)) {
    fprintf(stderr, "viewer-sample: cannot make the preview\n");
    return 1;
  }
  if (!WriteJpegSample(output, o)) {
    fprintf(stderr, "viewer-sample: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
