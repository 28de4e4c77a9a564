// Hostile files for the tests and benchmarks of the decoders' limits: a few
// bytes to a few megabytes that claim huge pictures or repeat one scan
// thousands of times. Built in memory from small sample JPEG files and
// hand-written headers; the same bytes every time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostileFile {
  std::string name;  // its extension picks the decoder: JPEG data also goes
                     // under .png and .Jpg names
  std::string bytes;
  bool photos = false;  // decoded only with --photos
};

// Every hostile file, under names unique among them, the --photos formats
// last. 0 when a seed JPEG
// could not be made (out then empty).
int MakeHostileFiles(std::vector<HostileFile>* out);

// The seed the JPEG surgery works on: a sample with quality 75 and every
// other option at its default. "" when the library failed.
std::string SeedJpeg(int width, int height, bool progressive, int components = 3);

// JPEG surgery on a whole file. The last scan (its SOS segment and
// entropy-coded data) repeated so the file has `extra` more scans.
std::string RepeatLastScan(const std::string& jpeg, int extra);
// The frame header made to claim width x height (each below 65536).
std::string ClaimSize(std::string jpeg, int width, int height);

// A 4 x 4 BMP of 8 or 24 bits whose info header claims `colours` colours;
// its table holds 256.
std::string ColourCountBmp(uint32_t colours, int depth = 8);

// Files of kHugeFileBytes that take a few kilobytes on disk: a small picture
// at the start, a hole of zeros, and tail (often empty) at the very end. A
// decoder that reads to the end of the file spends seconds to minutes on one.
const uint64_t kHugeFileBytes = 20ull << 30;
struct SparseFile {
  std::string name;
  std::string head;
  std::string tail;
};

// Every such file. 0 when a seed JPEG could not be made.
int MakeSparseFiles(std::vector<SparseFile>* out);
// Writes the file at path with ftruncate; 1 when written.
int WriteSparseFile(const std::string& path, const SparseFile& file);
