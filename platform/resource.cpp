// Finding the program's resources and turning them into objects: bitmaps
// become 16-bit surfaces, string table entries wide strings, icon images
// pixels for the window backend.
#include "platform/resource.h"

#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/gdi_internal.h"
#include "platform/wstring.h"

namespace {

// Set while the program starts, before any thread runs; read-only after.
const ResourceEntry* programResources = nullptr;
int programResourceCount = 0;

const int kStringsPerBlock = 16;
const DWORD kMaxColours = 256;
const int kGroupHeaderSize = 6;
const int kGroupEntrySize = 14;

bool SameId(const WCHAR* a, const WCHAR* b) {
  if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
  return _wcsicmp(a, b) == 0;
}

// The parts of a packed 8-bit DIB, checked against its size.
struct Dib8 {
  int width = 0;
  int height = 0;  // rows, always positive
  bool bottomUp = true;
  int stride = 0;
  const BYTE* rows = nullptr;  // first row stored
  uint16_t palette[kMaxColours] = {};  // packed; entries past the table stay black
  uint32_t argb[kMaxColours] = {};
};

// Reads the header and colour table of data and checks that the pixel rows
// are all there. An icon's header counts its height twice (the image, then
// the mask) while only half of those rows are 8-bit: heightDivisor 2.
bool ParseDib8(const BYTE* data, DWORD size, int heightDivisor, Dib8* out) {
  if (!data || size < sizeof(BITMAPINFOHEADER)) return false;
  BITMAPINFOHEADER h;
  memcpy(&h, data, sizeof(h));
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size) return false;
  if (h.biBitCount != 8 || h.biCompression != BI_RGB) return false;
  // Sides past 32767 make no surface; an icon's header counts twice its height.
  if (h.biWidth < 1 || h.biWidth > 32767) return false;
  if (h.biHeight == 0 || h.biHeight < -32767 || h.biHeight > 2 * 32767) return false;
  DWORD colours = h.biClrUsed ? h.biClrUsed : kMaxColours;
  if (colours > kMaxColours) return false;
  uint64_t tableEnd = (uint64_t)h.biSize + 4u * (uint64_t)colours;
  int height = (h.biHeight < 0 ? -h.biHeight : h.biHeight) / heightDivisor;
  if (height < 1) return false;
  uint64_t stride = ((uint64_t)h.biWidth + 3) / 4 * 4;
  if (tableEnd + stride * (uint64_t)height > size) return false;
  out->width = h.biWidth;
  out->height = height;
  out->bottomUp = h.biHeight > 0;
  out->stride = (int)stride;
  out->rows = data + tableEnd;
  const BYTE* table = data + h.biSize;
  for (DWORD i = 0; i < colours; i++) {
    const BYTE* q = table + 4 * i;  // blue, green, red, reserved
    out->palette[i] = PackRgb565(q[2], q[1], q[0]);
    out->argb[i] = 0xFF000000u | ((uint32_t)q[2] << 16) | ((uint32_t)q[1] << 8) | q[0];
  }
  return true;
}

// Row y counted from the top of the picture.
const BYTE* DibRow(const Dib8& dib, int y) {
  int stored = dib.bottomUp ? dib.height - 1 - y : y;
  return dib.rows + (size_t)stored * (size_t)dib.stride;
}

// The RT_ICON image named by the group entry at p, when it is size x size.
const ResourceEntry* GroupImage(const BYTE* p, int size) {
  int width = p[0] ? p[0] : 256;
  int height = p[1] ? p[1] : 256;
  if (width != size || height != size) return nullptr;
  return FindProgramResource(RT_ICON, MAKEINTRESOURCEW(ReadLe16(p + 12)));
}

// An icon image: 8-bit pixels over a header of twice the height, then the
// 1-bit mask rows, both bottom-up.
bool IconToRgba(const ResourceEntry* image, int size, uint32_t* rgba) {
  Dib8 dib;
  if (!ParseDib8(image->data, image->size, 2, &dib)) return false;
  if (dib.width != size || dib.height != size || !dib.bottomUp) return false;
  int maskStride = (size + 31) / 32 * 4;
  const BYTE* colourRows = dib.rows;
  const BYTE* maskRows = colourRows + (size_t)dib.stride * (size_t)size;
  uint64_t end = (uint64_t)(maskRows - image->data) + (uint64_t)maskStride * (uint64_t)size;
  if (end > image->size) return false;
  for (int y = 0; y < size; y++) {
    const BYTE* colour = colourRows + (size_t)(size - 1 - y) * (size_t)dib.stride;
    const BYTE* mask = maskRows + (size_t)(size - 1 - y) * (size_t)maskStride;
    for (int x = 0; x < size; x++) {
      bool transparent = (mask[x / 8] & (0x80 >> (x % 8))) != 0;
      rgba[(size_t)y * (size_t)size + (size_t)x] = transparent ? 0 : dib.argb[colour[x]];
    }
  }
  return true;
}

}  // namespace

void SetProgramResources(const ResourceEntry* table, int count) {
  programResources = table;
  programResourceCount = table ? count : 0;
}

const ResourceEntry* FindProgramResource(const WCHAR* type, const WCHAR* name) {
  if (!type || !name) return nullptr;
  for (int i = 0; i < programResourceCount; i++) {
    const ResourceEntry& e = programResources[i];
    if (SameId(e.type, type) && SameId(e.name, name)) return &e;
  }
  return nullptr;
}

HBITMAP BitmapFromDib(const BYTE* data, DWORD size) {
  Dib8 dib;
  if (!ParseDib8(data, size, 1, &dib)) return nullptr;
  BitmapObject* b = NewSurface(dib.width, dib.height, true);
  if (!b) return nullptr;
  for (int y = 0; y < dib.height; y++) {
    const BYTE* src = DibRow(dib, y);
    uint16_t* dst = b->Row(y);
    for (int x = 0; x < dib.width; x++) dst[x] = dib.palette[src[x]];
  }
  return (HBITMAP)GdiRegister(b);
}

HBITMAP LoadBitmapW(HINSTANCE instance, const WCHAR* name) {
  const ResourceEntry* e = FindProgramResource(RT_BITMAP, name);
  return e ? BitmapFromDib(e->data, e->size) : nullptr;
}

int LoadStringW(HINSTANCE instance, UINT id, WCHAR* buffer, int max) {
  if (!buffer || max <= 0) return 0;
  buffer[0] = 0;
  UINT block = id / kStringsPerBlock + 1;
  if (block > 0xFFFF) return 0;
  const ResourceEntry* e = FindProgramResource(RT_STRING, MAKEINTRESOURCEW(block));
  if (!e) return 0;
  // Sixteen counted strings in a row; skip to the one wanted.
  DWORD at = 0;
  for (UINT i = 0; i < id % kStringsPerBlock; i++) {
    if (at + 2 > e->size) return 0;
    at += 2 + 2u * ReadLe16(e->data + at);
  }
  if (at + 2 > e->size) return 0;
  DWORD count = ReadLe16(e->data + at);
  at += 2;
  if (at + 2 * count > e->size) return 0;
  int n = count < (DWORD)(max - 1) ? (int)count : max - 1;
  for (int i = 0; i < n; i++) buffer[i] = (WCHAR)ReadLe16(e->data + at + 2 * (DWORD)i);
  buffer[n] = 0;
  return n;
}

HICON LoadIconW(HINSTANCE instance, const WCHAR* name) {
  // The group's entry is the icon: it lives as long as the program.
  const ResourceEntry* e = FindProgramResource(RT_GROUP_ICON, name);
  return e ? (HICON)const_cast<ResourceEntry*>(e) : nullptr;
}

int PlatformIconPixels(const WCHAR* name, int size, uint32_t* rgba) {
  const ResourceEntry* group = FindProgramResource(RT_GROUP_ICON, name);
  if (!group || !rgba || size < 1 || size > 256) return 0;
  if (group->size < (DWORD)kGroupHeaderSize) return 0;
  int count = ReadLe16(group->data + 4);
  for (int i = 0; i < count; i++) {
    DWORD at = kGroupHeaderSize + (DWORD)i * kGroupEntrySize;
    if (at + kGroupEntrySize > group->size) return 0;
    const ResourceEntry* image = GroupImage(group->data + at, size);
    if (image && IconToRgba(image, size, rgba)) return 1;
  }
  return 0;
}
