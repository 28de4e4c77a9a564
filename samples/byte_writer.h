// Fields appended to a file being made: the samples' one writer of the
// byte orders that picture headers use.
#pragma once

#include <cstdint>
#include <string>

inline void Be16(std::string& b, unsigned v) {
  b += (char)(v >> 8);
  b += (char)v;
}
inline void Be32(std::string& b, uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}
inline void Le16(std::string& b, unsigned v) {
  b += (char)v;
  b += (char)(v >> 8);
}
inline void Le32(std::string& b, uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}
