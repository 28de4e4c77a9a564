// Pictures of the --photos formats made in memory: TIFF files written field
// by field, JPEG files given an EXIF orientation, and hostile headers of
// WebP, HEIF, AVIF and TIFF files that claim huge pictures or lack their data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "samples/hostile_samples.h"

// An uncompressed 8-bit RGB TIFF of width x height (rows top first, 3 bytes
// a pixel), its IFD0 after the pixels and `padding` zero bytes, with an
// orientation tag when orientation is 1..8. The sides written are the ones
// given, so a header may claim more than the pixels hold.
std::string TiffFile(uint32_t width, uint32_t height, const std::string& pixels,
                     int orientation, size_t padding = 0);

// Red rising left to right, green top to bottom, blue 128: each corner of
// the stored picture tells which one it is.
std::string GradientPixels(int width, int height);

// The JPEG with an APP1 EXIF block holding the orientation tag, right after
// its start marker.
std::string WithExifOrientation(const std::string& jpeg, int orientation);

// The hostile photo files, appended to out, each marked as needing --photos.
void AddHostilePhotoFiles(std::vector<HostileFile>* out);
