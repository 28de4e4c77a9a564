// Argument parsing shared by the tools.
#pragma once

#include <cstdlib>

// A whole decimal number in [min, max]; false for anything else.
inline bool ParseNumber(const char* text, long min, long max, long* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (*end || v < min || v > max) return false;
  *value = v;
  return true;
}
