#include "browser/thumbnail_cache.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "imaging/jpeg_sizing.h"
#include "imaging/photos.h"
#include "platform/byte_order.h"
#include "platform/cache_files.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/user_folders.h"
#include "platform/utf8.h"

namespace {

const BYTE kMagic[4] = {'K', 'V', 'T', 'N'};
const uint32_t kFlagPhotos = 1;
const char kCacheSubfolder[] = "thumbnails";
const char kRecordSuffix[] = ".thumb";
const size_t kFolderMax = 4096;
const size_t kHeaderBytes = 44;
const size_t kChecksumBytes = 8;
// The longest path a record keeps: a device path of kPathMax characters
// under a long root. A longer one is simply not cached.
const size_t kKeyPathMax = 8192;
const size_t kMaxPixelBytes = (size_t)(kThumbnailSide + 1) * kThumbnailSide * 2;
// Anything longer is not a record of ours and is not read at all.
const size_t kMaxRecordBytes = kHeaderBytes + kKeyPathMax + kMaxPixelBytes + kChecksumBytes;
const uint64_t kFnvOffset = 14695981039346656037ull;
const uint64_t kFnvPrime = 1099511628211ull;

// Bytes written since the folder was last trimmed; the first write of a
// run trims first.
std::atomic<uint64_t> writtenSinceTrim{kThumbnailCacheTrimEvery};

// What a record must match.
struct RecordKey {
  std::string path;
  uint64_t size;
  uint64_t modified;
};

uint64_t Fnv(const BYTE* bytes, size_t count, uint64_t hash) {
  for (size_t i = 0; i < count; i++) hash = (hash ^ bytes[i]) * kFnvPrime;
  return hash;
}

void PutLe(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out->push_back((char)(value >> (8 * i)));
}

uint64_t ReadLe64(const BYTE* p) { return ReadLe32(p) | (uint64_t)ReadLe32(p + 4) << 32; }

// The root and the device path as one host-like path, so that one file
// seen under different roots has one record.
bool KeyPath(const WCHAR* path, std::string* out) {
  const char* root = PlatformDeviceRoot();
  *out = strcmp(root, "/") == 0 ? "" : root;
  if (path[0] != L'\\') out->push_back('/');
  for (const WCHAR* p = path; *p; p++) {
    unsigned char bytes[4];
    const DWORD c = (DWORD)*p;
    if (c > 0x10FFFF) return false;
    const int n = c == L'\\' ? (bytes[0] = '/', 1) : EncodeUtf8(c, bytes);
    out->append((const char*)bytes, (size_t)n);
  }
  return out->size() <= kKeyPathMax;
}

// The picture's size and modification time, through the same bounded open
// the decode uses.
bool ReadKey(const WCHAR* path, RecordKey* key) {
  if (!KeyPath(path, &key->path)) return false;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  FILETIME written = {};
  const bool ok = GetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  key->size = (uint64_t)high << 32 | low;
  key->modified = (uint64_t)written.dwHighDateTime << 32 | written.dwLowDateTime;
  return ok;
}

bool CacheFolder(char* out, size_t outSize) {
  char base[kFolderMax];
  if (!ProgramUserFolder("XDG_CACHE_HOME", ".cache", base, sizeof(base))) return false;
  const int n = snprintf(out, outSize, "%s/%s", base, kCacheSubfolder);
  return n > 0 && (size_t)n < outSize;
}

// One file per path, so a changed picture's record is replaced, not added.
std::string RecordName(const RecordKey& key) {
  char name[32];
  snprintf(name, sizeof(name), "%016llx%s",
           (unsigned long long)Fnv((const BYTE*)key.path.data(), key.path.size(), kFnvOffset),
           kRecordSuffix);
  return name;
}

// A bitmap from a record that matches key in every field; null otherwise.
// The sides are checked against the box before anything is allocated.
PictureBitmap ParseRecord(const BYTE* r, size_t count, const RecordKey& key) {
  if (count < kHeaderBytes + kChecksumBytes || memcmp(r, kMagic, 4) != 0) return nullptr;
  const uint32_t width = ReadLe32(r + 16), height = ReadLe32(r + 20);
  const uint32_t pathBytes = ReadLe32(r + 40);
  if (ReadLe32(r + 4) != kThumbnailCacheVersion || ReadLe32(r + 8) != (uint32_t)kThumbnailSide ||
      ReadLe32(r + 12) != kFlagPhotos || ReadLe64(r + 24) != key.size ||
      ReadLe64(r + 32) != key.modified || pathBytes != key.path.size())
    return nullptr;
  if (width < 1 || height < 1 || width > (uint32_t)kThumbnailSide ||
      height > (uint32_t)kThumbnailSide)
    return nullptr;
  const size_t rowWords = (width + 1) & ~1u;
  const size_t pixelBytes = rowWords * height * 2;
  if (count != kHeaderBytes + pathBytes + pixelBytes + kChecksumBytes) return nullptr;
  if (memcmp(r + kHeaderBytes, key.path.data(), pathBytes) != 0) return nullptr;
  const size_t checked = count - kChecksumBytes;
  if (ReadLe64(r + checked) != ThumbnailRecordChecksum(r, checked)) return nullptr;
  PixelRows rows = {};
  PictureBitmap bitmap = CreatePictureBitmap((int)width, (int)height, &rows);
  if (!bitmap) return nullptr;
  if ((size_t)rows.stride != rowWords * 2) {
    DeleteObject(bitmap);
    return nullptr;
  }
  const BYTE* pixels = r + kHeaderBytes + pathBytes;
  for (uint32_t y = 0; y < height; y++) {
    uint16_t* row = rows.Row(y);
    for (size_t x = 0; x < rowWords; x++, pixels += 2) row[x] = ReadLe16(pixels);
  }
  return bitmap;
}

// The record of a decoded thumbnail; empty when it is not one the format
// can hold.
std::string MakeRecord(PictureBitmap bitmap, const RecordKey& key) {
  std::string r;
  DIBSECTION ds = {};
  if (GetObject(bitmap, sizeof(ds), &ds) != (int)sizeof(ds)) return r;
  const BITMAP& bm = ds.dsBm;
  if (!bm.bmBits || bm.bmWidth < 1 || bm.bmHeight < 1 || bm.bmWidth > kThumbnailSide ||
      bm.bmHeight > kThumbnailSide || bm.bmWidthBytes != (LONG)(((bm.bmWidth + 1) & ~1) * 2))
    return r;
  const PixelRows rows = {(uint8_t*)bm.bmBits, (int)bm.bmWidth, (int)bm.bmHeight,
                          (int)bm.bmWidthBytes, ds.dsBmih.biHeight < 0};
  r.append((const char*)kMagic, 4);
  PutLe(&r, kThumbnailCacheVersion, 4);
  PutLe(&r, (uint32_t)kThumbnailSide, 4);
  PutLe(&r, kFlagPhotos, 4);
  PutLe(&r, (uint32_t)bm.bmWidth, 4);
  PutLe(&r, (uint32_t)bm.bmHeight, 4);
  PutLe(&r, key.size, 8);
  PutLe(&r, key.modified, 8);
  PutLe(&r, key.path.size(), 4);
  r += key.path;
  for (int y = 0; y < rows.height; y++) {
    const uint16_t* row = rows.Row(y);
    for (int x = 0; x < rows.stride / 2; x++) PutLe(&r, row[x], 2);
  }
  PutLe(&r, ThumbnailRecordChecksum((const BYTE*)r.data(), r.size()), 8);
  return r;
}

void Store(const char* folder, const RecordKey& key, PictureBitmap bitmap) {
  std::string record = MakeRecord(bitmap, key);
  if (record.empty()) return;
  const uint64_t before = writtenSinceTrim.fetch_add(record.size());
  if (before >= kThumbnailCacheTrimEvery) {
    writtenSinceTrim = 0;
    CacheFolderTrim(folder, kThumbnailCacheMaxBytes, kThumbnailCacheKeepBytes);
  }
  CacheFileWrite(folder, RecordName(key).c_str(), record.data(), (DWORD)record.size());
}

}  // namespace

uint64_t ThumbnailRecordChecksum(const BYTE* bytes, size_t count) {
  return Fnv(bytes, count, kFnvOffset);
}

PictureBitmap LoadCachedThumbnail(const WCHAR* path, const DecodeWatch* watch) {
  if (!photosMode || !path) return LoadPictureWatched(nullptr, path, 1, FIT_SCREEN_WHOLE, watch);
  char folder[kFolderMax];
  RecordKey key;
  bool cached = false;
  try {
    cached = CacheFolder(folder, sizeof(folder)) && ReadKey(path, &key);
    if (cached) {
      static thread_local BYTE record[kMaxRecordBytes];
      const long got = CacheFileRead(folder, RecordName(key).c_str(), record, sizeof(record));
      PictureBitmap hit = got > 0 ? ParseRecord(record, (size_t)got, key) : nullptr;
      if (hit) return hit;
    }
  } catch (...) {  // out of memory: decode as without a cache
    cached = false;
  }
  PictureBitmap bitmap = LoadPictureWatched(nullptr, path, 1, FIT_SCREEN_WHOLE, watch);
  // An abandoned decode may have stopped early: never kept.
  const bool current = !watch || watch->watched->load() == watch->expected;
  if (bitmap && cached && current) {
    try {
      Store(folder, key, bitmap);
    } catch (...) {
    }
  }
  return bitmap;
}
