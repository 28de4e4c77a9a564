// Case folding through a C.UTF-8 locale object of our own, so that no global
// setlocale is needed and any thread may fold at any time.
#include "platform/wstring.h"

#include <locale.h>
#include <wctype.h>

#include <cstdlib>
#include <cstring>

namespace {

locale_t FoldingLocale() {
  // Made once, kept for the process: C++ guarantees a thread-safe first call.
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    return l ? l : newlocale(LC_CTYPE_MASK, "C", (locale_t)0);
  }();
  return locale;
}

}  // namespace

WCHAR FoldCase(WCHAR c) {
  // Escaped host bytes and non-characters stay as they are.
  if (c < 0x80) return (c >= L'A' && c <= L'Z') ? c + 32 : c;
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return c;
  return (WCHAR)towlower_l((wint_t)c, FoldingLocale());
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  for (;; a++, b++) {
    WCHAR x = FoldCase(*a), y = FoldCase(*b);
    if (x != y || x == 0) return (x > y) - (x < y);
  }
}

WCHAR* _wcsdup(const WCHAR* s) {
  size_t bytes = (wcslen(s) + 1) * sizeof(WCHAR);
  WCHAR* copy = (WCHAR*)malloc(bytes);
  if (copy) memcpy(copy, s, bytes);
  return copy;
}
