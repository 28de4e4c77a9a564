// The registry in memory and its text form. Only the registry's own code
// includes this.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

struct RegValue {
  std::wstring name;  // "" is the key's default value
  DWORD type;
  std::vector<BYTE> data;
};

struct RegKeyRecord {
  std::wstring path;  // below HKEY_LOCAL_MACHINE, components joined by backslashes
  std::vector<RegValue> values;
};

// Every key, each listed after its parent. The root (path "") always exists
// and is listed only when it holds values.
struct RegStore {
  std::vector<RegKeyRecord> keys;
};

// Longest key path and key name component, in characters.
const size_t kRegKeyPathMax = 512;
const size_t kRegKeyNameMax = 255;
const size_t kRegValueNameMax = 16383;

// A key path the text can carry: components of 1..255 plain characters,
// separated by single backslashes, 512 characters at most; "" is the root.
bool RegValidKeyPath(const std::wstring& path);
// A value name the text can carry: plain characters only.
bool RegValidValueName(const std::wstring& name);

// The key (names compared ignoring case), or null.
RegKeyRecord* RegFindKey(RegStore* store, const std::wstring& path);
// The key, made with any missing parents when absent. Path must be valid.
RegKeyRecord* RegEnsureKey(RegStore* store, const std::wstring& path);
// The value (names compared ignoring case), or null.
RegValue* RegFindValue(RegKeyRecord* key, const std::wstring& name);
// Replaces or adds the value.
void RegSetValue(RegKeyRecord* key, const RegValue& value);

// Parses the whole text; false (store left empty) when any part of it is
// not well formed.
bool RegParseText(const char* text, size_t size, RegStore* store);
// The text of the whole store.
std::string RegFormatText(const RegStore& store);
