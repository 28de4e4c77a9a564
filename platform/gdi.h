// Drawing objects behind handles: bitmaps, drawing contexts, solid brushes,
// and the screen, a 16-bit RGB565 surface.
//
// Contract: every object may be created on one thread and used or deleted on
// another; the handle table is guarded. A handle that is not (or no longer)
// a live object of the right kind makes the call fail, never crash.
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

// Header and colour masks of a bottom-up RGB565 picture: rows of an even
// pixel count, 3780 pixels per metre, three colours used. Every decoded
// picture has this layout; pass &info as the BITMAPINFO of CreateDIBSection.
struct Rgb565Info {
  BITMAPINFOHEADER header;
  DWORD masks[3];
};
Rgb565Info MakeRgb565Info(int width, int height);

HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
// BITMAP (or DIBSECTION, when size allows it) of a bitmap; returns the bytes
// written, 0 for anything else.
int GetObject(HGDIOBJ object, int size, void* out);

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);

// The screen surface for tests and the window backend: top-down RGB565
// words, stride in bytes. Valid until the next PlatformSetScreenSize.
uint16_t* PlatformScreenPixels(int* width, int* height, int* stride);
// How many drawing objects are alive (tests use it to prove nothing leaks).
int PlatformLiveObjectCount();
