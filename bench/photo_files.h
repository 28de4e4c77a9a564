// Photo-like JPEG files for the benchmarks, made at run time.
#pragma once

#include <filesystem>
#include <string>

#include "samples/jpeg_samples.h"

inline long BenchFileSize(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : (long)size;
}

// A 2048 x 1536 photo at the highest quality that stays under 1 MiB, the
// largest file that still gets a thumbnail. Returns false if none fits.
inline bool MakePhotoUnder1MiB(const std::string& path, unsigned seed) {
  JpegSampleOptions o;
  o.width = 2048;
  o.height = 1536;
  o.seed = seed;
  for (int q = 98; q >= 30; q -= 2) {
    o.quality = q;
    if (WriteJpegSample(path.c_str(), o) && BenchFileSize(path) < 1048576) return true;
  }
  return false;
}
