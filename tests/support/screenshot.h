// Screenshots of headless runs and the resource bitmaps, as RGB565 words,
// for comparing regions pixel for pixel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Picture565 {
  int width = 0, height = 0;
  std::vector<uint16_t> words;  // top-down rows of width words
  uint16_t At(int x, int y) const { return words[(size_t)y * (size_t)width + (size_t)x]; }
};

// A 16-bit bit-field BMP as the headless `shot` writes it; empty on error.
Picture565 ReadShotBmp(const std::string& path);
// A bitmap resource of the program, as LoadBitmapW makes it.
Picture565 ResourcePicture(int id);
// Mismatching pixels between shot's (x, y, w, h) and part's (sx, sy).
int CountDifferences(const Picture565& shot, int x, int y, const Picture565& part, int sx, int sy,
                     int w, int h);
// Pixels of exactly this word inside a rectangle.
int CountWord(const Picture565& shot, int x, int y, int w, int h, uint16_t word);
