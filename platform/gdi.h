// Drawing objects behind handles: bitmaps, drawing contexts, solid brushes,
// fonts, and the screen, a 16-bit RGB565 surface.
//
// Contract: every object may be created on one thread and used or deleted on
// another; an object lives until the last call using it returns. A handle
// that is not (or no longer) a live object of the right kind makes the call
// fail, never crash. A context is used by one thread at a time.
#pragma once

#include "platform/wintypes.h"

// GetSystemMetrics
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// GetDeviceCaps
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12

// GetObject kinds in BITMAP.bmType
#define OBJ_BITMAP 7

// Stock objects: always there; selected into every new context; deleting
// them does nothing.
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define SYSTEM_FONT 13
#define DEFAULT_BITMAP 100  // the 1 x 1 bitmap a new memory context holds
HGDIOBJ GetStockObject(int index);

// Raster operation of the copies: the only one offered.
#define SRCCOPY 0x00CC0020u

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

int GetSystemMetrics(int index);
// Sets the screen size (default 240 x 320) and makes a new black screen
// surface. Call before any window or screen context exists.
void PlatformSetScreenSize(int width, int height);

// hwnd null: the whole screen.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
int GetDeviceCaps(HDC hdc, int index);

// 16 bits per pixel with BI_BITFIELDS and the masks 0xF800, 0x07E0,
// 0x001F (RGB565), nothing else. Positive height: bottom-up rows, negative: top-down.
// Rows are padded to 4 bytes; the pixels are zero at creation and stay at
// *bits until the bitmap is deleted. Fails (null) on a size above 32767 or
// when memory runs out.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                         HANDLE section, DWORD offset);
// A top-down RGB565 bitmap, black.
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);

// The rows of a 16-bit RGB565 surface, y = 0 the top row however they lie
// in memory. The one way to a row: Row refuses (null) a y outside the
// surface, so a clipping mistake touches no memory beyond it.
struct PixelRows {
  uint8_t* pixels;
  int width;
  int height;
  int stride;  // bytes per row
  bool topDown;
  uint16_t* Row(long long y) const {
    if (!pixels || y < 0 || y >= height) return nullptr;
    return (uint16_t*)(pixels + (size_t)(topDown ? y : height - 1 - y) * (size_t)stride);
  }
};

// Header and colour masks of a bottom-up RGB565 picture: rows of an even
// pixel count, 3780 pixels per metre, three colours used. Every decoded
// picture has this layout; pass &info as the BITMAPINFO of CreateDIBSection.
struct Rgb565Info {
  BITMAPINFOHEADER header;
  DWORD masks[3];
};
Rgb565Info MakeRgb565Info(int width, int height);
// The one factory of decoded pictures: a zeroed bitmap of that layout, its
// rows in *rows (padding words included, rows->pixels is every word of
// it); null when memory runs out.
HBITMAP CreatePictureBitmap(int width, int height, PixelRows* rows);

HBRUSH CreateSolidBrush(COLORREF color);
// Returns the object of that kind selected before (a stock one at first),
// or null when the context or the object is not live.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// The handle dies at once; an object still selected into a context lives on
// until the context lets it go.
BOOL DeleteObject(HGDIOBJ object);
// BITMAP (or DIBSECTION, when size allows it) of a bitmap; returns the bytes
// written, 0 for anything else.
int GetObject(HGDIOBJ object, int size, void* out);

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);

// Copies clip to the destination; where a copy reads outside its source
// bitmap the destination gets black. StretchBlt picks the nearest source
// pixel with integer arithmetic; negative sizes are refused.
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop);

// Fonts and text, drawn on the window's thread only.
#define LF_FACESIZE 32
#define FW_NORMAL 400
#define DEFAULT_CHARSET 1
#define FF_SWISS 0x20
struct LOGFONTW {
  LONG lfHeight;  // positive: cell height (ascent + descent) in pixels
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};
HFONT CreateFontIndirectW(const LOGFONTW* description);
// Each returns the previous value; CLR_INVALID / 0 for a dead context.
#define CLR_INVALID 0xFFFFFFFFu
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF SetBkColor(HDC hdc, COLORREF color);
int SetBkMode(HDC hdc, int mode);

#define DT_TOP 0x0000
#define DT_LEFT 0x0000
#define DT_CENTER 0x0001
#define DT_VCENTER 0x0004
#define DT_WORDBREAK 0x0010
#define DT_SINGLELINE 0x0020
#define DT_CALCRECT 0x0400
#define DT_NOPREFIX 0x0800
// Draws (or with DT_CALCRECT only measures, widening or narrowing rect to
// the text's extent) count characters of text, or up to its terminator when
// count is -1, with the context's font, clipped to rect. Returns the height
// of the text, 0 on failure.
int DrawTextW(HDC hdc, const WCHAR* text, int count, RECT* rect, UINT format);

// The screen surface for tests and the window backend: top-down RGB565
// words, stride in bytes. Valid until the next PlatformSetScreenSize.
uint16_t* PlatformScreenPixels(int* width, int* height, int* stride);
// How many drawing objects and contexts are alive, stock ones left out
// (tests use it to prove nothing leaks).
int PlatformLiveObjectCount();
