// Inside view of the drawing objects, for the platform's own drawing code
// (fills, copies, text, resources) and its backends. Not for the system code.
#pragma once

#include "platform/gdi.h"
#include "platform/handles.h"
#include "platform/rgb565.h"

// A 16-bit RGB565 surface; Row y (0 = top) through the checked accessor
// (null outside the surface).
struct BitmapObject : PlatformObject {
  int width = 0;
  int height = 0;
  int stride = 0;        // bytes per row, a multiple of 4
  bool topDown = true;
  bool isDib = false;    // made by CreateDIBSection: has a header and masks
  uint8_t* pixels = nullptr;
  BITMAPINFOHEADER header = {};
  DWORD masks[3] = {0, 0, 0};
  BitmapObject() : PlatformObject(KIND_BITMAP) {}
  ~BitmapObject() override;
  PixelRows Rows() const { return {pixels, width, height, stride, topDown}; }
  uint16_t* Row(long long y) { return Rows().Row(y); }
  const uint16_t* Row(long long y) const { return Rows().Row(y); }
};

struct BrushObject : PlatformObject {
  COLORREF color = 0;
  BrushObject() : PlatformObject(KIND_BRUSH) {}
};

struct FontFace;  // the text module's rasteriser state
void FreeFontFace(FontFace* face);
struct FontObject : PlatformObject {
  LOGFONTW description = {};
  FontFace* face = nullptr;  // made on first use by the text module, which frees it
  FontObject() : PlatformObject(KIND_FONT) {}
  ~FontObject() override;
};

// A drawing context. Each selected object is held by a reference, so
// deleting its handle never frees it under the context. Used by one thread
// at a time (the system draws only on the window's thread).
struct DcObject : PlatformObject {
  bool screen = false;  // draws on the screen surface (screen and window contexts)
  HGDIOBJ bitmapHandle = nullptr;
  BitmapObject* bitmap = nullptr;
  HGDIOBJ fontHandle = nullptr;
  FontObject* font = nullptr;
  HGDIOBJ brushHandle = nullptr;
  BrushObject* brush = nullptr;
  COLORREF textColor = 0;       // black
  int bkMode = OPAQUE;
  COLORREF bkColor = 0xFFFFFF;  // white
  DcObject() : PlatformObject(KIND_DC) {}
  ~DcObject() override;
};

// Creates an object's handle (the table takes the object). Null when full.
void* GdiRegister(PlatformObject* object);
// A surface of the given size, black; null when too large or out of memory.
BitmapObject* NewSurface(int width, int height, bool topDown);

// The surface a context draws on, with a reference the caller releases
// (HandleRelease): the screen or the selected bitmap.
BitmapObject* AcquireTarget(DcObject* dc);
// After drawing on target: tells the backends when the screen changed.
void NoteDrawn(const BitmapObject* target);
// Bumped by every drawing on the screen; a backend presents when it moves.
unsigned PlatformScreenVersion();

inline uint16_t PackColor(COLORREF c) { return PackRgb565(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Bytes in a row of a 16-bit surface of width pixels: rows end on 4 bytes.
inline int Stride16(int width) { return RowWords16(width) * 2; }
