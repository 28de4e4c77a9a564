// UTF-8 sequences of single code points, for host names, the registry file
// and font names.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

// The bytes of code point c (at most U+10FFFF) into out; returns how many.
inline int EncodeUtf8(DWORD c, unsigned char out[4]) {
  if (c < 0x80) {
    out[0] = (unsigned char)c;
    return 1;
  }
  if (c < 0x800) {
    out[0] = (unsigned char)(0xC0 | (c >> 6));
    out[1] = (unsigned char)(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = (unsigned char)(0xE0 | (c >> 12));
    out[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
    out[2] = (unsigned char)(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = (unsigned char)(0xF0 | (c >> 18));
  out[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
  out[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
  out[3] = (unsigned char)(0x80 | (c & 0x3F));
  return 4;
}

// Length of the valid UTF-8 sequence at s (left bytes readable; a NUL
// always ends it) and its code point; 0 when it is not valid: overlong, a
// surrogate, beyond U+10FFFF, or cut short.
inline size_t DecodeUtf8(const unsigned char* s, size_t left, DWORD* code) {
  unsigned char c = s[0];
  size_t n;
  DWORD v, min;
  if (c < 0x80) {
    *code = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2, v = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, v = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, v = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n > left) return 0;
  for (size_t i = 1; i < n; i++) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (s[i] & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *code = v;
  return n;
}
