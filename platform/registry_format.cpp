// The registry file: the registry editor's export text, version 5.00,
// written as UTF-8 without a byte order mark. Lines end with LF (CR LF and a
// leading byte order mark are accepted when read).
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\Korvane\Viewer]
//   "Dir"="\\Pictures\\Holiday \"2024\""
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//   "Odd"=hex(1):41,00,00,00,00,d8,00,00,00,00,00,00
//
// - The first line is the version line. Blank lines and lines starting with
//   ';' are ignored.
// - A section "[HKEY_LOCAL_MACHINE\path]" starts a key; the values below it
//   belong to it. Each key is written after its parent, every parent gets its
//   own section, and a section implies its parents when read. Key names are
//   plain characters (below), never empty, never longer than 255.
// - A value line is a name, '=', data. The name is "..." or @ for the
//   default value. Inside "..." a backslash is written \\ and a quotation
//   mark \"; every other character stands for itself, and nothing else may
//   follow a backslash.
// - "..." data is a REG_SZ value whose data is exactly its characters and
//   one terminator, each character plain: a Unicode scalar value from U+0020
//   up, not U+007F. Any other REG_SZ data (lone surrogates U+D800..U+DFFF,
//   control characters such as newlines, no terminator, a terminator inside,
//   a size that is not whole characters) is written hex(1): with the data
//   bytes as stored, 4 per character, least significant byte first.
// - dword:xxxxxxxx is a REG_DWORD of 4 bytes (8 hex digits).
// - hex:.. is REG_BINARY and hex(t):.. any type t (hexadecimal): the data
//   bytes as two hex digits each, separated by commas, possibly none. A long
//   list goes on over lines that end in ",\" and the next line's leading
//   blanks are skipped.
// Anything else makes the whole file malformed, and it then reads as empty.
#include "platform/registry_format.h"
#include "platform/utf8.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/registry.h"
#include "platform/wstring.h"

namespace {

const char kVersionLine[] = "Windows Registry Editor Version 5.00";
const char kRootName[] = "HKEY_LOCAL_MACHINE";
const char kByteOrderMark[] = "\xEF\xBB\xBF";
// Bytes per line of a hex list, so that lines stay near 80 columns.
const size_t kHexBytesPerLine = 25;

bool Plain(DWORD c) {
  return c >= 0x20 && c != 0x7F && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

void PutUtf8(DWORD c, std::string* out) {
  unsigned char b[4];
  out->append((const char*)b, (size_t)EncodeUtf8(c, b));
}

// UTF-8 bytes to wide characters; false when invalid or holding a NUL.
bool WideFromUtf8(const std::string& bytes, std::wstring* out) {
  out->clear();
  const unsigned char* s = (const unsigned char*)bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD c;
    size_t n = DecodeUtf8(s, left, &c);
    if (n == 0 || c == 0) return false;
    out->push_back((WCHAR)c);
    s += n;
    left -= n;
  }
  return true;
}

void PutQuoted(const std::wstring& text, std::string* out) {
  out->push_back('"');
  for (WCHAR c : text) {
    if (c == L'\\' || c == L'"') out->push_back('\\');
    PutUtf8((DWORD)c, out);
  }
  out->push_back('"');
}

// The "..." at line[*at], unescaped and decoded; *at moves past it.
bool TakeQuoted(const std::string& line, size_t* at, std::wstring* out) {
  size_t i = *at;
  if (i >= line.size() || line[i] != '"') return false;
  std::string bytes;
  for (i++; i < line.size(); i++) {
    char c = line[i];
    if (c == '"') {
      *at = i + 1;
      return WideFromUtf8(bytes, out);
    }
    if (c == '\\') {
      if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return false;
      c = line[++i];
    }
    bytes.push_back(c);
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "xx,xx,..." from line[at] to the end of the line; may be empty.
bool TakeHexList(const std::string& line, size_t at, std::vector<BYTE>* out) {
  out->clear();
  if (at == line.size()) return true;
  for (;;) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
    if (at + 2 > line.size()) return false;
    int high = HexDigit(line[at]), low = HexDigit(line[at + 1]);
    if (high < 0 || low < 0) return false;
    out->push_back((BYTE)(high * 16 + low));
    at += 2;
    if (at == line.size()) return true;
    if (line[at++] != ',') return false;
  }
}

// Whether line[at..] starts with prefix; *at moves past it.
bool TakePrefix(const std::string& line, size_t* at, const char* prefix) {
  size_t n = strlen(prefix);
  if (line.compare(*at, n, prefix) != 0) return false;
  *at += n;
  return true;
}

bool TakeValueLine(const std::string& line, RegValue* value) {
  size_t at = 0;
  if (!line.empty() && line[0] == '@') {
    value->name.clear();
    at = 1;
  } else if (!TakeQuoted(line, &at, &value->name) || value->name.empty() ||
             !RegValidValueName(value->name)) {
    return false;
  }
  if (at >= line.size() || line[at++] != '=') return false;
  value->data.clear();
  if (at < line.size() && line[at] == '"') {
    std::wstring text;
    if (!TakeQuoted(line, &at, &text) || at != line.size()) return false;
    value->type = REG_SZ;
    const BYTE* bytes = (const BYTE*)text.c_str();
    value->data.assign(bytes, bytes + (text.size() + 1) * sizeof(WCHAR));
    return true;
  }
  if (TakePrefix(line, &at, "dword:")) {
    if (line.size() - at != 8) return false;
    DWORD number = 0;
    for (; at < line.size(); at++) {
      int digit = HexDigit(line[at]);
      if (digit < 0) return false;
      number = number * 16 + (DWORD)digit;
    }
    value->type = REG_DWORD;
    value->data.resize(sizeof(number));
    memcpy(value->data.data(), &number, sizeof(number));
    return true;
  }
  if (TakePrefix(line, &at, "hex:")) {
    value->type = REG_BINARY;
    return TakeHexList(line, at, &value->data);
  }
  if (TakePrefix(line, &at, "hex(")) {
    DWORD type = 0;
    size_t digits = 0;
    for (; at < line.size() && line[at] != ')'; at++, digits++) {
      int digit = HexDigit(line[at]);
      if (digit < 0 || digits == 8) return false;
      type = type * 16 + (DWORD)digit;
    }
    if (digits == 0 || !TakePrefix(line, &at, "):")) return false;
    value->type = type;
    return TakeHexList(line, at, &value->data);
  }
  return false;
}

// "[HKEY_LOCAL_MACHINE\path]" to the path.
bool TakeSection(const std::string& line, std::wstring* path) {
  size_t rootLength = strlen(kRootName);
  if (line.size() < rootLength + 2 || line.back() != ']') return false;
  std::string inner = line.substr(1, line.size() - 2);
  if (strncasecmp(inner.c_str(), kRootName, rootLength) != 0) return false;
  if (inner.size() == rootLength) {
    path->clear();
    return true;
  }
  if (inner[rootLength] != '\\') return false;
  return WideFromUtf8(inner.substr(rootLength + 1), path) && !path->empty() &&
         RegValidKeyPath(*path);
}

// The REG_SZ data as a plain string with its one terminator at the end.
bool PlainString(const std::vector<BYTE>& data, std::wstring* text) {
  if (data.size() < sizeof(WCHAR) || data.size() % sizeof(WCHAR) != 0) return false;
  size_t count = data.size() / sizeof(WCHAR);
  text->resize(count - 1);
  WCHAR last;
  memcpy(&last, data.data() + (count - 1) * sizeof(WCHAR), sizeof(WCHAR));
  if (last != 0) return false;
  if (count > 1) memcpy(text->data(), data.data(), (count - 1) * sizeof(WCHAR));
  for (WCHAR c : *text)
    if (!Plain((DWORD)c)) return false;
  return true;
}

void PutData(const RegValue& value, std::string* out) {
  char head[32];
  std::wstring text;
  if (value.type == REG_SZ && PlainString(value.data, &text)) {
    PutQuoted(text, out);
    return;
  }
  if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
    DWORD number;
    memcpy(&number, value.data.data(), sizeof(number));
    snprintf(head, sizeof(head), "dword:%08x", (unsigned)number);
    out->append(head);
    return;
  }
  if (value.type == REG_BINARY)
    snprintf(head, sizeof(head), "hex:");
  else
    snprintf(head, sizeof(head), "hex(%x):", (unsigned)value.type);
  out->append(head);
  for (size_t i = 0; i < value.data.size(); i++) {
    if (i > 0) out->append(i % kHexBytesPerLine == 0 ? ",\\\n  " : ",");
    snprintf(head, sizeof(head), "%02x", (unsigned)value.data[i]);
    out->append(head);
  }
}

}  // namespace

bool RegValidKeyPath(const std::wstring& path) {
  if (path.size() > kRegKeyPathMax) return false;
  size_t component = 0;
  for (size_t i = 0; i <= path.size(); i++) {
    if (i == path.size() || path[i] == L'\\') {
      if (component == 0 && !path.empty()) return false;
      component = 0;
    } else if (!Plain((DWORD)path[i]) || ++component > kRegKeyNameMax) {
      return false;
    }
  }
  return true;
}

bool RegValidValueName(const std::wstring& name) {
  if (name.size() > kRegValueNameMax) return false;
  for (WCHAR c : name)
    if (!Plain((DWORD)c)) return false;
  return true;
}

RegKeyRecord* RegFindKey(RegStore* store, const std::wstring& path) {
  for (RegKeyRecord& key : store->keys)
    if (SameName(key.path, path)) return &key;
  return nullptr;
}

RegKeyRecord* RegEnsureKey(RegStore* store, const std::wstring& path) {
  if (RegKeyRecord* key = RegFindKey(store, path)) return key;
  size_t cut = path.rfind(L'\\');
  if (cut != std::wstring::npos) RegEnsureKey(store, path.substr(0, cut));
  store->keys.push_back(RegKeyRecord{path, {}});
  return &store->keys.back();
}

RegValue* RegFindValue(RegKeyRecord* key, const std::wstring& name) {
  for (RegValue& value : key->values)
    if (SameName(value.name, name)) return &value;
  return nullptr;
}

void RegSetValue(RegKeyRecord* key, const RegValue& value) {
  if (RegValue* old = RegFindValue(key, value.name)) {
    old->type = value.type;
    old->data = value.data;
  } else {
    key->values.push_back(value);
  }
}

bool RegParseText(const char* text, size_t size, RegStore* store) {
  store->keys.clear();
  std::string all(text, size);
  size_t at = all.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
  // The next line without its end; false after the last one.
  auto nextLine = [&](std::string* line) {
    if (at >= all.size()) return false;
    size_t end = all.find('\n', at);
    if (end == std::string::npos) end = all.size();
    line->assign(all, at, end - at);
    at = end + 1;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
  };
  std::string line;
  bool ok = nextLine(&line) && line == kVersionLine;
  // The root exists whether or not the text names it, so a root section
  // without values reads the same as none (the writer leaves it out).
  if (ok) RegEnsureKey(store, L"");
  long current = -1;  // index of the key that value lines belong to
  while (ok && nextLine(&line)) {
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';') continue;
    if (line[0] == '[') {
      std::wstring path;
      ok = TakeSection(line, &path);
      if (ok) {
        RegKeyRecord* key = RegEnsureKey(store, path);
        current = key - store->keys.data();
      }
      continue;
    }
    // A hex list goes on over lines that end in a backslash.
    std::string next;
    while (!line.empty() && line.back() == '\\' && nextLine(&next)) {
      line.pop_back();
      size_t first = next.find_first_not_of(" \t");
      if (first != std::string::npos) line.append(next, first, std::string::npos);
    }
    RegValue value;
    ok = current >= 0 && TakeValueLine(line, &value);
    if (ok) RegSetValue(&store->keys[current], value);
  }
  if (!ok) store->keys.clear();
  return ok;
}

std::string RegFormatText(const RegStore& store) {
  std::string out = kVersionLine;
  out.push_back('\n');
  for (const RegKeyRecord& key : store.keys) {
    if (key.path.empty() && key.values.empty()) continue;
    out.append("\n[");
    out.append(kRootName);
    if (!key.path.empty()) out.push_back('\\');
    for (WCHAR c : key.path) PutUtf8((DWORD)c, &out);
    out.append("]\n");
    for (const RegValue& value : key.values) {
      if (value.name.empty())
        out.push_back('@');
      else
        PutQuoted(value.name, &out);
      out.push_back('=');
      PutData(value, &out);
      out.push_back('\n');
    }
  }
  return out;
}
