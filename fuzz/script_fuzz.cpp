// The headless backend's script reader on any text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/backend_headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* errors = fopen("/dev/null", "w");
  if (!errors) abort();
  std::string text((const char*)data, size);  // the copy ends in a NUL
  int badLine = -1;
  int loaded = HeadlessLoadScriptText(text.c_str(), errors, &badLine);
  if (!loaded && badLine < 0) __builtin_trap();  // a refusal names its line
  return 0;
}
