// Inside view of the drawing objects, for the platform's own drawing code
// (fills, copies, text) and its backends. Not for the system code.
#pragma once

#include "platform/gdi.h"

enum GdiKind { GDI_BITMAP = 1, GDI_DC, GDI_BRUSH, GDI_FONT };

struct GdiObject {
  int kind;
  explicit GdiObject(int k) : kind(k) {}
  virtual ~GdiObject() {}
};

// A 16-bit surface. Row y (0 = top) starts at pixels + RowOffset(y).
struct BitmapObject : GdiObject {
  int width = 0;
  int height = 0;
  int stride = 0;        // bytes per row, a multiple of 4
  bool topDown = true;
  bool isDib = false;    // made by CreateDIBSection: has a header and masks
  uint8_t* pixels = nullptr;
  BITMAPINFOHEADER header = {};
  DWORD masks[3] = {0, 0, 0};
  BitmapObject() : GdiObject(GDI_BITMAP) {}
  ~BitmapObject() override;
  size_t RowOffset(int y) const {
    return (size_t)(topDown ? y : height - 1 - y) * (size_t)stride;
  }
  uint16_t* Row(int y) { return (uint16_t*)(pixels + RowOffset(y)); }
};

struct BrushObject : GdiObject {
  COLORREF color = 0;
  BrushObject() : GdiObject(GDI_BRUSH) {}
};

struct DcObject : GdiObject {
  bool screen = false;          // draws on the screen surface
  HBITMAP bitmap = nullptr;     // selected bitmap of a memory context
  HFONT font = nullptr;
  HBRUSH brush = nullptr;
  COLORREF textColor = 0;       // black
  int bkMode = 2;               // OPAQUE
  COLORREF bkColor = 0xFFFFFF;  // white
  DcObject() : GdiObject(GDI_DC) {}
};

// Registers a new object and returns its handle.
void* GdiRegister(GdiObject* object);
// The live object of that kind behind a handle, or null.
GdiObject* GdiLookup(const void* handle, int kind);
BitmapObject* GdiBitmap(HBITMAP bitmap);
DcObject* GdiDc(HDC hdc);
// The surface a context draws on: the screen or its selected bitmap; null
// for a memory context with nothing selected.
BitmapObject* GdiTarget(DcObject* dc);

// RGB565 word of a colour.
uint16_t PackRgb565(COLORREF color);
