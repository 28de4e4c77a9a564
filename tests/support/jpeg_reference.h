// A second, deliberately plain implementation of what the JPEG path makes of
// a file, for bit-exact comparison. It shares no code with imaging/: the
// library's pixels come from DecodeJpegPlain, everything after is redone
// here pixel by pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RefRequest {
  bool thumbnail = false;
  int fitMode = 2;  // 0 large, 1 screen whole, 2 screen fine
  int screenWidth = 240;
  int screenHeight = 320;
};

struct RefPicture {
  bool made = false;  // false: the decode yields no bitmap
  int pictureWidth = 0, pictureHeight = 0;  // W x H of the frame header
  int divisor = 0;                          // n
  int denom = 0;                            // library scale 1/denom
  int libraryWidth = 0, libraryHeight = 0;  // OW x OH
  bool rotated = false;
  int step = 0;                             // s, in sixteenths
  int width = 0, height = 0;                // FW x FH
  int rowWords = 0;                         // FW rounded up to even
  std::vector<uint16_t> words;              // rowWords * FH, bottom row first
};

// Expected result for a host file. Consumes rand() exactly as a decode does,
// so seed it the way the caller of the decoder does. Sizes are filled as far
// as the decode gets, also when nothing is made.
RefPicture ReferenceJpegDecode(const std::string& hostPath, const RefRequest& request);

// The 40-byte info header and the three colour masks of an FW x FH picture.
std::vector<uint8_t> ReferenceInfoHeader(int width, int height);

// The whole BMP file a decode tool writes: file header, info header, masks,
// pixel words.
std::vector<uint8_t> ReferenceBmpFile(const RefPicture& picture);

// Frame size from a JPEG's SOF segment, and where that segment's marker
// starts. Returns 0 when no frame header comes before the first scan.
int FindJpegFrame(const std::vector<uint8_t>& bytes, int* width, int* height, size_t* markerAt);
