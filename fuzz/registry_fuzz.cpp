// The registry file reader. Text that parses is written back and read again:
// the writer must produce text the reader takes, and reading and writing
// that text again must change nothing.
#include <cstdint>
#include <string>

#include "platform/registry_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RegStore store;
  if (!RegParseText((const char*)data, size, &store)) {
    if (!store.keys.empty()) __builtin_trap();  // a failed read leaves it empty
    return 0;
  }
  std::string text = RegFormatText(store);
  RegStore again;
  if (!RegParseText(text.data(), text.size(), &again)) __builtin_trap();
  if (RegFormatText(again) != text) __builtin_trap();
  if (again.keys.size() != store.keys.size()) __builtin_trap();
  for (size_t i = 0; i < store.keys.size(); i++) {
    const RegKeyRecord& a = store.keys[i];
    const RegKeyRecord& b = again.keys[i];
    if (a.path != b.path || a.values.size() != b.values.size()) __builtin_trap();
    for (size_t j = 0; j < a.values.size(); j++) {
      const RegValue& x = a.values[j];
      const RegValue& y = b.values[j];
      if (x.name != y.name || x.type != y.type || x.data != y.data) __builtin_trap();
    }
  }
  return 0;
}
