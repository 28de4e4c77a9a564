// --photos: thumbnails kept between visits and between runs, one file per
// picture in $XDG_CACHE_HOME/korvane-viewer/thumbnails (~/.cache/... when
// unset), so that a folder seen before fills at once without decoding.
//
// A record holds its whole key: the picture's path (the device root joined
// with the device path), size and modification time, the thumbnail box, the
// mode and the format's version. Little-endian, in this order:
//   0  magic "KVTN"        4  version            8  box side
//   12 flags (1: photos)   16 width             20 height
//   24 file size (8)       32 modified (8, FILETIME ticks)
//   40 path bytes P        44 the path, P bytes
//   then height rows, top first, of width rounded up to even RGB565 words
//   (the bitmap's padding word included), then the checksum (8): FNV-1a
//   of everything before it.
// A record that does not match in every field, is cut short, too long,
// claims sides beyond the box or fails its checksum is a miss: the picture
// is decoded and the record replaced.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/picture.h"
#include "platform/wintypes.h"

// Raised whenever the layout or the way thumbnails are made changes, so
// that older records read as misses.
const uint32_t kThumbnailCacheVersion = 1;
// The folder is trimmed to kThumbnailCacheKeepBytes, oldest use first, once
// it holds more than kThumbnailCacheMaxBytes: at the first record a run
// writes and after every kThumbnailCacheTrimEvery bytes written since.
const uint64_t kThumbnailCacheMaxBytes = 100ull << 20;
const uint64_t kThumbnailCacheKeepBytes = 90ull << 20;
const uint64_t kThumbnailCacheTrimEvery = 16ull << 20;

// The thumbnail of the picture at the device path, from the cache when its
// record matches, else from LoadPictureWatched (watch as there), stored for
// next time unless the decode was abandoned. Without photosMode it only
// decodes. Null when the picture gives none. The thumbnail worker's thread.
PictureBitmap LoadCachedThumbnail(const WCHAR* path, const DecodeWatch* watch);

// The record's checksum over count bytes.
uint64_t ThumbnailRecordChecksum(const BYTE* bytes, size_t count);
