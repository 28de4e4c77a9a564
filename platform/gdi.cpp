// Drawing objects behind handles, drawing contexts and the screen surface.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/gdi_internal.h"

namespace {

// Bitmaps beyond this side length are refused, as the handheld refuses them.
const int kMaxBitmapSide = 32767;
const int kDefaultScreenWidth = 240;
const int kDefaultScreenHeight = 320;
const LONG kPixelsPerMetre = 3780;

std::mutex screenLock;        // guards the three values below
BitmapObject* screenSurface;  // holds one reference of its own
int screenWidth = kDefaultScreenWidth;
int screenHeight = kDefaultScreenHeight;
std::atomic<unsigned> screenVersion{0};

struct StockObjects {
  HGDIOBJ whiteBrush, blackBrush, systemFont, defaultBitmap;
};

PlatformObject* MakeStock(PlatformObject* o) {
  o->stock = true;
  return o;
}

BrushObject* NewBrush(COLORREF color) {
  BrushObject* b = new BrushObject();
  b->color = color & 0xFFFFFF;
  return b;
}

const StockObjects& Stock() {
  static const StockObjects stock = [] {
    StockObjects s;
    s.whiteBrush = GdiRegister(MakeStock(NewBrush(RGB(255, 255, 255))));
    s.blackBrush = GdiRegister(MakeStock(NewBrush(RGB(0, 0, 0))));
    FontObject* font = new FontObject();
    font->description.lfHeight = 12;
    font->description.lfWeight = FW_NORMAL;
    font->description.lfCharSet = DEFAULT_CHARSET;
    font->description.lfPitchAndFamily = FF_SWISS;
    wcscpy(font->description.lfFaceName, L"Arial");
    s.systemFont = GdiRegister(MakeStock(font));
    s.defaultBitmap = GdiRegister(MakeStock(NewSurface(1, 1, true)));
    return s;
  }();
  return stock;
}

BitmapObject* AcquireScreen() {
  std::lock_guard<std::mutex> hold(screenLock);
  if (!screenSurface) screenSurface = NewSurface(screenWidth, screenHeight, true);
  HandleAddRef(screenSurface);
  return screenSurface;
}

// Puts object (acquired, kind known) into its slot of dc; returns the
// handle it replaces. Takes over the caller's reference.
template <class T>
HGDIOBJ Swap(HGDIOBJ& slotHandle, T*& slotObject, HGDIOBJ handle, T* object) {
  HGDIOBJ previous = slotHandle;
  HandleRelease(slotObject);
  slotHandle = handle;
  slotObject = object;
  return previous;
}

HDC NewDc(bool screen) {
  DcObject* dc = new (std::nothrow) DcObject();
  if (!dc) return nullptr;
  dc->screen = screen;
  const StockObjects& s = Stock();
  dc->brushHandle = s.whiteBrush;
  dc->brush = (BrushObject*)HandleAcquire(s.whiteBrush, KIND_BRUSH);
  dc->fontHandle = s.systemFont;
  dc->font = (FontObject*)HandleAcquire(s.systemFont, KIND_FONT);
  if (!screen) {
    dc->bitmapHandle = s.defaultBitmap;
    dc->bitmap = (BitmapObject*)HandleAcquire(s.defaultBitmap, KIND_BITMAP);
  }
  return (HDC)GdiRegister(dc);
}

}  // namespace

BitmapObject::~BitmapObject() { free(pixels); }

FontObject::~FontObject() { FreeFontFace(face); }

DcObject::~DcObject() {
  HandleRelease(bitmap);
  HandleRelease(font);
  HandleRelease(brush);
}

void* GdiRegister(PlatformObject* object) { return HandleCreate(object); }

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

BitmapObject* AcquireTarget(DcObject* dc) {
  if (!dc) return nullptr;
  if (dc->screen) return AcquireScreen();
  HandleAddRef(dc->bitmap);
  return dc->bitmap;
}

void NoteDrawn(const BitmapObject* target) {
  if (target && target == screenSurface) screenVersion.fetch_add(1, std::memory_order_release);
}

unsigned PlatformScreenVersion() { return screenVersion.load(std::memory_order_acquire); }

HGDIOBJ GetStockObject(int index) {
  const StockObjects& s = Stock();
  switch (index) {
    case WHITE_BRUSH: return s.whiteBrush;
    case BLACK_BRUSH: return s.blackBrush;
    case SYSTEM_FONT: return s.systemFont;
    case DEFAULT_BITMAP: return s.defaultBitmap;
  }
  return nullptr;
}

int GetSystemMetrics(int index) {
  std::lock_guard<std::mutex> hold(screenLock);
  if (index == SM_CXSCREEN) return screenWidth;
  if (index == SM_CYSCREEN) return screenHeight;
  return 0;
}

void PlatformSetScreenSize(int width, int height) {
  BitmapObject* fresh = NewSurface(width, height, true);
  if (!fresh) return;
  BitmapObject* old;
  {
    std::lock_guard<std::mutex> hold(screenLock);
    old = screenSurface;
    screenSurface = fresh;
    screenWidth = width;
    screenHeight = height;
  }
  HandleRelease(old);
  screenVersion.fetch_add(1, std::memory_order_release);
}

uint16_t* PlatformScreenPixels(int* width, int* height, int* stride) {
  BitmapObject* s = AcquireScreen();
  if (!s) return nullptr;
  if (width) *width = s->width;
  if (height) *height = s->height;
  if (stride) *stride = s->stride;
  uint16_t* pixels = (uint16_t*)s->pixels;
  HandleRelease(s);  // the screen keeps its own reference until resized
  return pixels;
}

int PlatformLiveObjectCount() { return HandleLiveCount(KIND_GDI_OBJECT | KIND_DC); }

HDC GetDC(HWND) { return NewDc(true); }

int ReleaseDC(HWND, HDC hdc) {
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc || !dc->screen) return 0;
  return HandleClose(hdc, KIND_DC) ? 1 : 0;
}

HDC CreateCompatibleDC(HDC) { return NewDc(false); }

BOOL DeleteDC(HDC hdc) {
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc || dc->screen) return FALSE;
  return HandleClose(hdc, KIND_DC) ? TRUE : FALSE;
}

int GetDeviceCaps(HDC hdc, int index) {
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc) return 0;
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
  uint8_t* pixels = b->pixels;
  HBITMAP handle = (HBITMAP)GdiRegister(b);
  if (bits && handle) *bits = pixels;
  return handle;
}

Rgb565Info MakeRgb565Info(int width, int height) {
  Rgb565Info info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.header.biSizeImage = (DWORD)RowWords16(width) * (DWORD)height * 2;
  info.header.biXPelsPerMeter = kPixelsPerMetre;
  info.header.biYPelsPerMeter = kPixelsPerMetre;
  info.header.biClrUsed = 3;
  info.header.biClrImportant = 0;
  info.masks[0] = 0xF800;
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  return info;
}

HBITMAP CreatePictureBitmap(int width, int height, PixelRows* rows) {
  Rgb565Info info = MakeRgb565Info(width, height);
  void* pixels = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(nullptr, (const BITMAPINFO*)&info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (!bitmap || !pixels) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  // Zero from creation, padding words included.
  *rows = {(uint8_t*)pixels, width, height, Stride16(width), false};
  return bitmap;
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
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc) return nullptr;
  PlatformObject* o = HandleAcquire(object, KIND_GDI_OBJECT);
  if (!o) return nullptr;
  switch (o->kind) {
    case KIND_BITMAP:
      if (dc->screen) break;
      return Swap(dc->bitmapHandle, dc->bitmap, object, (BitmapObject*)o);
    case KIND_BRUSH:
      return Swap(dc->brushHandle, dc->brush, object, (BrushObject*)o);
    case KIND_FONT:
      return Swap(dc->fontHandle, dc->font, object, (FontObject*)o);
  }
  HandleRelease(o);
  return nullptr;
}

BOOL DeleteObject(HGDIOBJ object) {
  HandleRef<PlatformObject> o(object, KIND_GDI_OBJECT | KIND_DC);
  if (!o) return FALSE;
  if (o->stock) return TRUE;
  return HandleClose(object, o->kind) ? TRUE : FALSE;
}

int GetObject(HGDIOBJ object, int size, void* out) {
  HandleRef<BitmapObject> b(object, KIND_BITMAP);
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
  HandleRef<DcObject> dc(hdc, KIND_DC);
  HandleRef<BrushObject> br(brush, KIND_BRUSH);
  if (!rect || !dc || !br) return 0;
  BitmapObject* target = AcquireTarget(dc.get());
  if (!target) return 0;
  int left = rect->left < 0 ? 0 : rect->left;
  int top = rect->top < 0 ? 0 : rect->top;
  int right = rect->right > target->width ? target->width : rect->right;
  int bottom = rect->bottom > target->height ? target->height : rect->bottom;
  uint16_t word = PackColor(br->color);
  for (int y = top; y < bottom; y++) {
    uint16_t* row = target->Row(y);
    for (int x = left; x < right; x++) row[x] = word;
  }
  NoteDrawn(target);
  HandleRelease(target);
  return 1;
}

HFONT CreateFontIndirectW(const LOGFONTW* description) {
  if (!description) return nullptr;
  FontObject* font = new (std::nothrow) FontObject();
  if (!font) return nullptr;
  font->description = *description;
  font->description.lfFaceName[LF_FACESIZE - 1] = 0;
  return (HFONT)GdiRegister(font);
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->textColor;
  dc->textColor = color & 0xFFFFFF;
  return previous;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->bkColor;
  dc->bkColor = color & 0xFFFFFF;
  return previous;
}

int SetBkMode(HDC hdc, int mode) {
  HandleRef<DcObject> dc(hdc, KIND_DC);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int previous = dc->bkMode;
  dc->bkMode = mode;
  return previous;
}
