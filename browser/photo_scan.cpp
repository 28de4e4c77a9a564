// Listing a folder with photosMode: one enumeration without sizes, every
// folder and picture collected, natural name order, then the first
// kPhotosEntryLimit of them kept.
#include "browser/photo_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "browser/entry_list.h"
#include "platform/findfile.h"
#include "platform/wstring.h"

int32_t entriesFound;

namespace {

const size_t kFirstCapacity = 1024;
// Names held at most while listing: at twice the kept count the list is cut
// back to the first kPhotosEntryLimit, so a folder of millions of files
// costs the memory of 200,000 names.
const size_t kHeldLimit = 2 * (size_t)kPhotosEntryLimit;

// An item found, before it earns a slot in the entry list.
struct Found {
  WCHAR* name;  // heap copy
  int32_t kind;
};

// Grows by doubling with realloc, so running out of memory is a result.
struct FoundList {
  Found* items = nullptr;
  size_t count = 0;
  size_t capacity = 0;

  bool Add(const WCHAR* name, EntryKind kind) {
    if (count == capacity) {
      size_t wanted = capacity ? capacity * 2 : kFirstCapacity;
      Found* grown = (Found*)realloc(items, wanted * sizeof(Found));
      if (!grown) return false;
      items = grown;
      capacity = wanted;
    }
    WCHAR* copy = _wcsdup(name);
    if (!copy) return false;
    items[count++] = Found{copy, kind};
    return true;
  }
  // Keeps the first keep in name order (not yet sorted) and frees the rest.
  void CutTo(size_t keep, bool (*before)(const Found&, const Found&)) {
    if (keep >= count) return;
    std::nth_element(items, items + keep, items + count, before);
    for (size_t i = keep; i < count; i++) free(items[i].name);
    count = keep;
  }
  // Frees the names from index first on, and the array itself.
  void Release(size_t first) {
    for (size_t i = first; i < count; i++) free(items[i].name);
    free(items);
  }
};

bool IsDigit(WCHAR c) { return c >= L'0' && c <= L'9'; }

// FoldCase without the call for ASCII, which most names are: the sort of a
// large folder spends its time here.
inline WCHAR Fold(WCHAR c) {
  if (c >= 0x80) return FoldCase(c);
  return (c >= L'A' && c <= L'Z') ? c + 32 : c;
}

bool FoundBefore(const Found& a, const Found& b) {
  if (a.kind != b.kind) return a.kind < b.kind;
  return CompareNamesNaturally(a.name, b.name) < 0;
}

// Moves a kept item into the next slot with its label; false (and the name
// freed) when the label cannot be made.
bool Place(const Found& item) {
  WCHAR* label = _wcsdup(item.name);
  if (!label) {
    free(item.name);
    return false;
  }
  if (item.kind == Picture) *wcsrchr(label, L'.') = 0;
  FolderEntry& e = entryList[entryCount];
  e.name = item.name;
  e.label = label;
  e.kind = item.kind;
  e.thumbnail = nullptr;
  e.thumbnailFailed = false;
  e.fileSize = 0;
  entryCount++;
  return true;
}

}  // namespace

int CompareNamesNaturally(const WCHAR* a, const WCHAR* b) {
  int zeros = 0;  // the first run whose leading zeros differ
  const WCHAR* x = a;
  const WCHAR* y = b;
  for (;;) {
    if (IsDigit(*x) && IsDigit(*y)) {
      const WCHAR* xs = x;
      const WCHAR* ys = y;
      while (*xs == L'0') xs++;
      while (*ys == L'0') ys++;
      if (zeros == 0 && xs - x != ys - y) zeros = xs - x < ys - y ? -1 : 1;
      const WCHAR* xe = xs;
      const WCHAR* ye = ys;
      while (IsDigit(*xe)) xe++;
      while (IsDigit(*ye)) ye++;
      // Values of any length: more significant digits is larger.
      if (xe - xs != ye - ys) return xe - xs < ye - ys ? -1 : 1;
      for (; xs < xe; xs++, ys++)
        if (*xs != *ys) return *xs < *ys ? -1 : 1;
      x = xe;
      y = ye;
      continue;
    }
    // A digit against anything else compares as its character: digits are
    // contiguous, so any digit gives the same answer.
    if (*x != *y) {
      WCHAR cx = Fold(*x), cy = Fold(*y);
      if (cx != cy) return cx < cy ? -1 : 1;
    } else if (*x == 0) {
      break;
    }
    x++;
    y++;
  }
  if (zeros) return zeros;
  int exact = wcscmp(a, b);
  return (exact > 0) - (exact < 0);
}

bool ListPhotosFolderLocked(const WCHAR* pattern) {
  entriesFound = 0;
  WIN32_FIND_DATAW item;
  HANDLE find = FindFirstFileBasicW(pattern, &item);
  if (find == INVALID_HANDLE_VALUE) return false;
  FoundList found;
  bool room = true;
  size_t total = 0;
  do {
    bool isFolder = (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Folders whose name begins with a dot stay hidden, as without photosMode.
    const bool listed = isFolder ? item.cFileName[0] != L'.' : IsPictureName(item.cFileName);
    if (!listed) continue;
    room = found.Add(item.cFileName, isFolder ? Folder : Picture);
    total++;
    if (found.count >= kHeldLimit) found.CutTo(kPhotosEntryLimit, FoundBefore);
  } while (room && FindNextFileW(find, &item));
  FindClose(find);
  entriesFound = total > INT32_MAX ? INT32_MAX : (int32_t)total;
  // Only the kept ones need their exact order.
  found.CutTo(kPhotosEntryLimit, FoundBefore);
  const size_t keep = found.count;
  Found* begin = found.items;
  std::sort(begin, begin + keep, FoundBefore);
  for (size_t i = 0; i < keep; i++) Place(found.items[i]);
  found.Release(keep);
  return true;
}
