// Drawing objects behind handles and the screen surface.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "platform/gdi_internal.h"

namespace {

// Bitmaps beyond this side length are refused, as the handheld refuses them.
const int kMaxBitmapSide = 32767;
const int kDefaultScreenWidth = 240;
const int kDefaultScreenHeight = 320;
const LONG kPixelsPerMetre = 3780;

std::mutex tableLock;
std::unordered_set<GdiObject*>* liveObjects;  // made on first use, never freed

BitmapObject* screenSurface;  // guarded by tableLock while swapped
int screenWidth = kDefaultScreenWidth;
int screenHeight = kDefaultScreenHeight;

std::unordered_set<GdiObject*>& Live() {
  if (!liveObjects) liveObjects = new std::unordered_set<GdiObject*>();
  return *liveObjects;
}

// Row length of a 16-bit surface in bytes, padded to 4.
int Stride16(int width) { return ((width * 2 + 3) / 4) * 4; }

BitmapObject* NewSurface(int width, int height, bool topDown) {
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide)
    return nullptr;
  BitmapObject* b = new (std::nothrow) BitmapObject();
  if (!b) return nullptr;
  b->width = width;
  b->height = height;
  b->stride = Stride16(width);
  b->topDown = topDown;
  b->pixels = (uint8_t*)calloc((size_t)b->stride * (size_t)height, 1);
  if (!b->pixels) {
    delete b;
    return nullptr;
  }
  return b;
}

BitmapObject* Screen() {
  std::lock_guard<std::mutex> hold(tableLock);
  if (!screenSurface) screenSurface = NewSurface(screenWidth, screenHeight, true);
  return screenSurface;
}

}  // namespace

BitmapObject::~BitmapObject() { free(pixels); }

void* GdiRegister(GdiObject* object) {
  if (!object) return nullptr;
  std::lock_guard<std::mutex> hold(tableLock);
  Live().insert(object);
  return object;
}

GdiObject* GdiLookup(const void* handle, int kind) {
  if (!handle) return nullptr;
  GdiObject* object = (GdiObject*)handle;
  std::lock_guard<std::mutex> hold(tableLock);
  if (!Live().count(object) || object->kind != kind) return nullptr;
  return object;
}

BitmapObject* GdiBitmap(HBITMAP bitmap) { return (BitmapObject*)GdiLookup(bitmap, GDI_BITMAP); }
DcObject* GdiDc(HDC hdc) { return (DcObject*)GdiLookup(hdc, GDI_DC); }

BitmapObject* GdiTarget(DcObject* dc) {
  if (!dc) return nullptr;
  if (dc->screen) return Screen();
  return GdiBitmap(dc->bitmap);
}

uint16_t PackRgb565(COLORREF c) {
  return (uint16_t)(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) | (GetBValue(c) >> 3));
}

int GetSystemMetrics(int index) {
  std::lock_guard<std::mutex> hold(tableLock);
  if (index == SM_CXSCREEN) return screenWidth;
  if (index == SM_CYSCREEN) return screenHeight;
  return 0;
}

void PlatformSetScreenSize(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide) return;
  BitmapObject* fresh = NewSurface(width, height, true);
  if (!fresh) return;
  std::lock_guard<std::mutex> hold(tableLock);
  delete screenSurface;
  screenSurface = fresh;
  screenWidth = width;
  screenHeight = height;
}

uint16_t* PlatformScreenPixels(int* width, int* height, int* stride) {
  BitmapObject* s = Screen();
  if (!s) return nullptr;
  if (width) *width = s->width;
  if (height) *height = s->height;
  if (stride) *stride = s->stride;
  return (uint16_t*)s->pixels;
}

int PlatformLiveObjectCount() {
  std::lock_guard<std::mutex> hold(tableLock);
  return (int)Live().size();
}

HDC GetDC(HWND) {
  DcObject* dc = new (std::nothrow) DcObject();
  if (!dc) return nullptr;
  dc->screen = true;
  return (HDC)GdiRegister(dc);
}

int ReleaseDC(HWND, HDC hdc) {
  DcObject* dc = GdiDc(hdc);
  if (!dc || !dc->screen) return 0;
  return DeleteObject(hdc) ? 1 : 0;
}

HDC CreateCompatibleDC(HDC) {
  DcObject* dc = new (std::nothrow) DcObject();
  if (!dc) return nullptr;
  return (HDC)GdiRegister(dc);
}

BOOL DeleteDC(HDC hdc) {
  DcObject* dc = GdiDc(hdc);
  if (!dc || dc->screen) return FALSE;
  return DeleteObject(hdc);
}

int GetDeviceCaps(HDC hdc, int index) {
  if (!GdiDc(hdc)) return 0;
  switch (index) {
    case BITSPIXEL: return 16;
    case HORZRES: return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES: return GetSystemMetrics(SM_CYSCREEN);
  }
  return 0;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biBitCount != 16) return nullptr;
  const DWORD* masks = (const DWORD*)info->bmiColors;
  if (h.biCompression != BI_BITFIELDS || masks[0] != 0xF800 || masks[1] != 0x07E0 ||
      masks[2] != 0x001F)
    return nullptr;
  if (h.biHeight == INT32_MIN) return nullptr;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  BitmapObject* b = NewSurface(h.biWidth, height, h.biHeight < 0);
  if (!b) return nullptr;
  b->isDib = true;
  b->header = h;
  b->header.biSize = sizeof(BITMAPINFOHEADER);
  memcpy(b->masks, masks, sizeof(b->masks));
  if (bits) *bits = b->pixels;
  return (HBITMAP)GdiRegister(b);
}

Rgb565Info MakeRgb565Info(int width, int height) {
  Rgb565Info info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.header.biSizeImage = (DWORD)(((width + 1) / 2) * 2) * (DWORD)height * 2;
  info.header.biXPelsPerMeter = kPixelsPerMetre;
  info.header.biYPelsPerMeter = kPixelsPerMetre;
  info.header.biClrUsed = 3;
  info.header.biClrImportant = 0;
  info.masks[0] = 0xF800;
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  return info;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  BitmapObject* b = NewSurface(width, height, true);
  if (!b) return nullptr;
  return (HBITMAP)GdiRegister(b);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  BrushObject* brush = new (std::nothrow) BrushObject();
  if (!brush) return nullptr;
  brush->color = color & 0xFFFFFF;
  return (HBRUSH)GdiRegister(brush);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  DcObject* dc = GdiDc(hdc);
  if (!dc || !object) return nullptr;
  GdiObject* o;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    if (!Live().count((GdiObject*)object)) return nullptr;
    o = (GdiObject*)object;
  }
  HGDIOBJ previous = nullptr;
  switch (o->kind) {
    case GDI_BITMAP:
      if (dc->screen) return nullptr;
      previous = dc->bitmap;
      dc->bitmap = (HBITMAP)object;
      break;
    case GDI_BRUSH:
      previous = dc->brush;
      dc->brush = (HBRUSH)object;
      break;
    case GDI_FONT:
      previous = dc->font;
      dc->font = (HFONT)object;
      break;
    default:
      return nullptr;
  }
  // The handheld hands back a stock object when nothing was selected; a
  // non-null result is what callers test for success.
  return previous ? previous : object;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return FALSE;
  GdiObject* o = (GdiObject*)object;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    if (!Live().erase(o)) return FALSE;
  }
  delete o;
  return TRUE;
}

int GetObject(HGDIOBJ object, int size, void* out) {
  BitmapObject* b = GdiBitmap((HBITMAP)object);
  if (!b || !out || size < (int)sizeof(BITMAP)) return 0;
  BITMAP bm = {};
  bm.bmType = 0;
  bm.bmWidth = b->width;
  bm.bmHeight = b->height;
  bm.bmWidthBytes = b->stride;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = 16;
  bm.bmBits = b->isDib ? b->pixels : nullptr;
  if (b->isDib && size >= (int)sizeof(DIBSECTION)) {
    DIBSECTION ds = {};
    ds.dsBm = bm;
    ds.dsBmih = b->header;
    memcpy(ds.dsBitfields, b->masks, sizeof(ds.dsBitfields));
    memcpy(out, &ds, sizeof(ds));
    return (int)sizeof(DIBSECTION);
  }
  memcpy(out, &bm, sizeof(bm));
  return (int)sizeof(BITMAP);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  DcObject* dc = GdiDc(hdc);
  BrushObject* br = (BrushObject*)GdiLookup(brush, GDI_BRUSH);
  BitmapObject* target = GdiTarget(dc);
  if (!rect || !br || !target) return 0;
  int left = rect->left < 0 ? 0 : rect->left;
  int top = rect->top < 0 ? 0 : rect->top;
  int right = rect->right > target->width ? target->width : rect->right;
  int bottom = rect->bottom > target->height ? target->height : rect->bottom;
  uint16_t word = PackRgb565(br->color);
  for (int y = top; y < bottom; y++) {
    uint16_t* row = target->Row(y);
    for (int x = left; x < right; x++) row[x] = word;
  }
  return 1;
}
