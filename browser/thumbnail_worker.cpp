// The background thread that decodes a thumbnail for every picture of the
// list it was started for, in list order, and announces each one; with
// photosMode, for the pictures near the shown page, nearest first.
#include <cstdint>
#include <cwchar>

#include "browser/entry_list.h"
#include "browser/photo_scan.h"
#include "browser/thumbnail_cache.h"
#include "imaging/photos.h"
#include "imaging/picture.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

// What the worker took from entry i while it held the lock.
enum Step { STEP_END, STEP_SKIP, STEP_DECODE };

// Checks the generation and, for a picture, builds its path. Called with the
// list lock held.
Step TakeEntry(uint32_t startValue, int index, WCHAR* path) {
  if (listGeneration != startValue || index >= entryCount) return STEP_END;
  const FolderEntry& e = entryList[index];
  if (e.kind != Picture || !e.name) return STEP_SKIP;
  // A path that does not fit gets no thumbnail rather than a cut name.
  if (swprintf(path, kPathMax, L"%ls\\%ls", scannedFolder, e.name) < 0) return STEP_SKIP;
  return STEP_DECODE;
}

// photosMode: one entry at a time, chosen afresh after every decode so that a
// jump elsewhere is followed at once. A failure is recorded and announced
// too, so its tile can say so. Thumbnails come from the cache when it has
// them and go into it when decoded.
DWORD PageWorker(uint32_t startValue) {
  WCHAR path[kPathMax];
  for (;;) {
    LockEntryList();
    if (listGeneration != startValue) {
      UnlockEntryList();
      return 0;
    }
    const int i = NextWantedEntryLocked();
    if (i < 0) {
      WorkerEndedLocked(startValue);
      UnlockEntryList();
      return 0;
    }
    const bool fits = swprintf(path, kPathMax, L"%ls\\%ls", scannedFolder, entryList[i].name) >= 0;
    if (!fits) entryList[i].thumbnailFailed = true;  // never tried again
    UnlockEntryList();
    PictureBitmap bitmap = nullptr;
    if (fits) {
      DecodeWatch watch = {&listGenerationNow, startValue};
      bitmap = LoadCachedThumbnail(path, &watch);
    }
    BITMAP bm = {};
    if (bitmap) GetObject(bitmap, sizeof(bm), &bm);
    LockEntryList();
    if (listGeneration != startValue) {
      UnlockEntryList();
      if (bitmap) DeleteObject(bitmap);
      return 0;
    }
    FolderEntry& e = entryList[i];
    // The page may have moved far away while it decoded.
    const bool keep = bitmap && InKeptWindowLocked(i) && !e.thumbnail;
    if (!bitmap) {
      e.thumbnailFailed = true;
    } else if (keep) {
      e.thumbnail = bitmap;
      e.thumbnailWidth = bm.bmWidth;
      e.thumbnailHeight = bm.bmHeight;
    }
    UnlockEntryList();
    if (bitmap && !keep) {
      DeleteObject(bitmap);
      continue;
    }
    PostMessageW(mainWindow, WM_THUMBNAIL_READY, (WPARAM)i, 0);
  }
}

}  // namespace

DWORD ThumbnailWorker(void* parameter) {
  // The generation it works for, then a priority below the window's thread.
  const uint32_t startValue = (uint32_t)(uintptr_t)parameter;
  PrepareFileReads();
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  // A newer scan may have come before this thread got going.
  LockEntryList();
  bool replaced = listGeneration != startValue;
  UnlockEntryList();
  if (replaced) return 0;
  if (photosMode) return PageWorker(startValue);
  WCHAR path[kPathMax];
  for (int i = 0;; i++) {
    // Under the lock: still our list? a picture? its path.
    LockEntryList();
    Step step = TakeEntry(startValue, i, path);
    UnlockEntryList();
    if (step == STEP_END) return 0;
    if (step == STEP_SKIP) continue;
    // The decode runs without the lock, and stops early once the list is
    // replaced; its result would be dropped below anyway.
    DecodeWatch watch = {&listGenerationNow, startValue};
    PictureBitmap bitmap = LoadPictureWatched(nullptr, path, 1, FIT_SCREEN_WHOLE, &watch);
    if (!bitmap) continue;
    BITMAP bm = {};
    GetObject(bitmap, sizeof(bm), &bm);
    // Store only into the list it was made for.
    LockEntryList();
    if (listGeneration != startValue) {
      UnlockEntryList();
      DeleteObject(bitmap);
      return 0;
    }
    FolderEntry& e = entryList[i];
    e.thumbnail = bitmap;
    e.thumbnailWidth = bm.bmWidth;
    e.thumbnailHeight = bm.bmHeight;
    UnlockEntryList();
    // Stored first, then announced.
    PostMessageW(mainWindow, WM_THUMBNAIL_READY, (WPARAM)i, 0);
  }
}
