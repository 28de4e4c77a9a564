// JPEG files made and read with plain library calls, for the tools, tests
// and benchmarks: synthetic pictures to decode, and the library's own output
// at a scale, untouched by our sizing, to compare against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct JpegSampleOptions {
  int width = 640;
  int height = 480;
  int quality = 90;
  int components = 3;        // 1 grey, 3 YCbCr, 4 CMYK (Adobe marker, stored inverted)
  int lumaH = 2, lumaV = 2;  // luma sampling: 2x2 is 4:2:0, 2x1 4:2:2, 1x1 4:4:4
  bool progressive = false;
  bool photoLike = true;     // smooth shapes plus fine noise; false: plain gradients
  unsigned seed = 1;         // content varies with it
  // Photo grain over quarters of red (top left), green (top right), blue
  // (bottom left) and white, as the picture is shown: its orientation shows.
  bool quadrants = false;
  // 1..8: an EXIF block with this orientation tag. width x height are the
  // picture as shown; the file stores it the way the tag undoes (sides
  // swapped for 5 to 8). 0: no EXIF block.
  int orientation = 0;
  std::string exifPreview;   // with an EXIF block: a JPEG preview embedded in it
};

// Writes a JPEG file to a host path. Returns 1 on success.
int WriteJpegSample(const char* hostPath, const JpegSampleOptions& options);
// The same file's bytes, made in memory. Returns 1 on success.
int JpegSampleBytes(const JpegSampleOptions& options, std::string* out);

// A preview of w x h (as shown) for a photo made with options: its scene,
// stored turned back as the photo is, without an EXIF block of its own.
int JpegPreviewBytes(const JpegSampleOptions& photo, int w, int h, std::string* out);

// The library's decode of a host file at 1/scaleDenom with the fast integer
// inverse DCT and every other setting at its default.
struct PlainJpegImage {
  int width = 0;       // output_width
  int height = 0;      // output_height
  int components = 0;  // output_components
  bool adobe = false;  // saw an Adobe marker (CMYK then stored inverted)
  std::vector<uint8_t> samples;  // rows top first, components per pixel
};
// Returns 1 on success, 0 when the library failed.
int DecodeJpegPlain(const char* hostPath, int scaleDenom, PlainJpegImage* out);
// The same decode with nothing after it: the samples are dropped, not
// copied out. The floor whole processes are weighed against.
int DecodeJpegPlainOnly(const char* hostPath, int scaleDenom);
