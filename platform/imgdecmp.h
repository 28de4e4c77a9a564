// The image decoder service: PNG, GIF (first frame), BMP and JPEG files
// pulled through a read callback and returned as a 16-bit RGB565 bitmap.
#pragma once

#include "platform/wintypes.h"

typedef DWORD (*GetImageDataFunc)(char* buffer, DWORD bufferMax, LPARAM param);
typedef void (*ImageProgressFunc)(void* render, BOOL complete, LPARAM param);

struct DecompressImageInfo {
  DWORD dwSize;             // size of the record as the caller knows it
  BYTE* pbBuffer;           // caller's read buffer
  DWORD dwBufferMax;        // its size; each read asks at most this much
  DWORD dwBufferCurrent;
  HBITMAP* phBM;            // receives the bitmap; left untouched on failure
  void** ppImageRender;     // unused
  int iBitDepth;            // 16 is the only depth made
  LPARAM lParam;            // handed back to pfnGetData
  HDC hdc;
  int iScale;               // percent; 100
  int iMaxWidth;            // larger pictures are reduced to fit, aspect kept
  int iMaxHeight;
  GetImageDataFunc pfnGetData;
  ImageProgressFunc pfnImageProgress;
  COLORREF crTransparentOverride;
};

#define S_OK 0
#define E_FAIL ((HRESULT)0x80004005)

// S_OK and *phBM set when a bitmap was made; E_FAIL otherwise. Pictures
// whose full decode would need more than 256 MiB are refused.
HRESULT DecompressImageIndirect(DecompressImageInfo* info);
