// The --photos formats (WebP, HEIF/HEIC, AVIF, TIFF) told from their first
// bytes, and the picture size their containers declare, read within the
// bytes at hand with every offset checked.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

enum PhotoFormat { kPhotoNone, kPhotoWebp, kPhotoHeif, kPhotoAvif, kPhotoTiff };

// Whether the first 8 bytes may start a photo format: worth gathering more.
bool MayBePhotoFormat(const BYTE* head, size_t count);

// The format the leading bytes name; an ISO-BMFF file needs its whole ftyp box.
PhotoFormat SniffPhotoFormat(const BYTE* head, size_t count);

// The gdk-pixbuf loader for the format, by the name the loader registers.
const char* PhotoLoaderType(PhotoFormat format);

// Whether the loader emits size-prepared before it allocates the picture;
// the others decode everything at close and tell the size afterwards.
bool PhotoLoaderSignalsSizeFirst(PhotoFormat format);

// Bytes per pixel the loader's library holds beyond the finished picture
// (HEIF and AVIF: the decoded planes and the loader's own turned copies).
unsigned PhotoWorkBytesPerPixel(PhotoFormat format);

enum DeclaredSize {
  kSizeKnown,     // *width and *height set, each at least 1
  kSizeNotHere,   // the fields lie past the bytes at hand
  kSizeDamaged,   // the container is broken or declares no size
};

// The size the container declares: WebP from its VP8, VP8L or VP8X header;
// HEIF and AVIF the largest `ispe` property of meta/iprp/ipco (the primary
// picture's, a grid's and its tiles' all lie there); TIFF IFD0's ImageWidth
// and ImageLength.
DeclaredSize ReadDeclaredSize(PhotoFormat format, const BYTE* bytes, size_t count, int* width,
                              int* height);
