// The version line, and the version the program's version block carries
// (made by make_resources.py from the same project version).
#include "resources/version.h"

#include <cstring>
#include <cwchar>

#include "platform/byte_order.h"
#include "platform/resource.h"

namespace {

const DWORD kFixedSignature = 0xFEEF04BD;
const DWORD kFixedInfoSize = 52;  // VS_FIXEDFILEINFO: thirteen DWORDs
const int kNodeHeaderSize = 6;    // wLength, wValueLength, wType

// The VS_FIXEDFILEINFO of the root node "VS_VERSION_INFO", or null.
const BYTE* FixedInfo(const BYTE* data, DWORD size) {
  static const char kKey[] = "VS_VERSION_INFO";
  if (size < kNodeHeaderSize) return nullptr;
  DWORD length = ReadLe16(data);
  if (length > size || ReadLe16(data + 2) < kFixedInfoSize) return nullptr;
  DWORD at = kNodeHeaderSize;
  for (size_t i = 0; i <= strlen(kKey); i++, at += 2) {
    if (at + 2 > length || ReadLe16(data + at) != (WORD)(unsigned char)kKey[i]) return nullptr;
  }
  at = (at + 3) & ~3u;
  if (at + kFixedInfoSize > length || ReadLe32(data + at) != kFixedSignature) return nullptr;
  return data + at;
}

}  // namespace

int ProgramVersion(WCHAR* out, int max) {
  if (!out || max <= 0) return 0;
  out[0] = 0;
  const ResourceEntry* e = FindProgramResource(RT_VERSION, MAKEINTRESOURCEW(1));
  const BYTE* fixed = e ? FixedInfo(e->data, e->size) : nullptr;
  if (!fixed) return 0;
  DWORD ms = ReadLe32(fixed + 8);  // dwFileVersionMS, then dwFileVersionLS
  DWORD ls = ReadLe32(fixed + 12);
  int n = swprintf(out, (size_t)max, L"%u.%u.%u.%u", (unsigned)(ms >> 16), (unsigned)(ms & 0xFFFF),
                   (unsigned)(ls >> 16), (unsigned)(ls & 0xFFFF));
  if (n < 0) {
    out[0] = 0;
    return 0;
  }
  return n;
}

int ProgramVersionLine(WCHAR* out, int max) {
  if (!out || max <= 0) return 0;
  int n = swprintf(out, (size_t)max, L"%ls %ls", kProductName, kVersionText);
  if (n < 0) {
    out[0] = 0;
    return 0;
  }
  return n;
}
