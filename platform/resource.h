// The program's own resources: built into the executable as a table that
// the program hands over at start, looked up by type, number or name, and
// language.
#pragma once

#include "platform/wintypes.h"

// A number where a name may stand: the low 16 bits of a pointer value.
#define MAKEINTRESOURCEW(i) ((const WCHAR*)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) (((uintptr_t)(p) >> 16) == 0)

#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)

// One resource as the program carries it. type and name are numbers made
// with MAKEINTRESOURCEW, or strings. data is laid out as the handheld's
// resource compiler lays it out (a bitmap is a BMP file without its file
// header; a string table block holds sixteen counted UTF-16 strings; an
// accelerator table is 8-byte entries, the last flagged 0x80).
struct ResourceEntry {
  const WCHAR* type;
  const WCHAR* name;
  WORD language;
  const BYTE* data;
  DWORD size;
};

// The table the lookups below search: count entries that live as long as
// the program. resources/ hands its table over while the program starts,
// before main; until then nothing is found.
void SetProgramResources(const ResourceEntry* table, int count);

// The entry of that type and name (any language), or null. instance is the
// program's (any value: there is one module).
const ResourceEntry* FindProgramResource(const WCHAR* type, const WCHAR* name);

// An 8-bit bitmap with a colour table (uncompressed, bottom-up) becomes a
// 16-bit bitmap of the same size; null when missing or malformed.
HBITMAP LoadBitmapW(HINSTANCE instance, const WCHAR* name);
// Copies string id into buffer (at most max - 1 characters and a
// terminator); returns the characters copied, 0 when missing.
int LoadStringW(HINSTANCE instance, UINT id, WCHAR* buffer, int max);
// The icon group: a handle that names it (the address of the group's
// ResourceEntry, which lives as long as the program), or null when missing.
HICON LoadIconW(HINSTANCE instance, const WCHAR* name);

// The 16-bit bitmap of a packed 8-bit DIB (info header, colour table,
// pixel rows), or null when the bytes are not one: every read stays within
// size, so any bytes may be passed.
HBITMAP BitmapFromDib(const BYTE* data, DWORD size);
// The size x size image of icon group name as 0xAARRGGBB pixels, top row
// first, opaque where the icon's mask says so and fully transparent
// elsewhere. Returns 1 when the group has such an image, else 0.
int PlatformIconPixels(const WCHAR* name, int size, uint32_t* rgba);
