// With photosMode: the page the grid shows, the window of entries around it
// that may hold thumbnails, and whether a worker is filling that window.
// Everything here is guarded by the list lock.
#include <algorithm>
#include <cstdint>

#include "browser/entry_list.h"
#include "browser/photo_scan.h"
#include "imaging/photos.h"
#include "platform/gdi.h"
#include "platform/threads.h"

namespace {

int pageFirst = 0;
int pageCount = 0;
// Entries [keepLo, keepHi) may hold thumbnails; no other does.
int keepLo = 0;
int keepHi = 0;
// A worker of the current list has been started and has not ended.
bool workerRunning = false;

// kThumbnailKeep entries (or the whole list), reaching kThumbnailKeepBehind
// before the page where the list lets it.
void KeptWindow(int first, int* lo, int* hi) {
  int from = std::max(0, first - kThumbnailKeepBehind);
  *hi = std::min(entryCount, from + kThumbnailKeep);
  *lo = std::max(0, *hi - kThumbnailKeep);
}

bool Wanted(int index) {
  const FolderEntry& e = entryList[index];
  return e.kind == Picture && e.name && !e.thumbnail && !e.thumbnailFailed;
}

bool AnyWanted() {
  for (int i = keepLo; i < keepHi; i++)
    if (Wanted(i)) return true;
  return false;
}

void StartWorker(uint32_t startValue) {
  if (PlatformStartThread(ThumbnailWorker, (void*)(uintptr_t)startValue)) return;
  // Placeholders stay until the page moves again.
  LockEntryList();
  WorkerEndedLocked(startValue);
  UnlockEntryList();
}

}  // namespace

bool ResetShownPageLocked() {
  pageFirst = 0;
  KeptWindow(pageFirst, &keepLo, &keepHi);
  workerRunning = AnyWanted();
  return workerRunning;
}

void WorkerEndedLocked(uint32_t startValue) {
  // A worker of a replaced list says nothing about the current one's.
  if (startValue == listGeneration) workerRunning = false;
}

int NextWantedEntryLocked() {
  const int from = std::max(pageFirst, keepLo);
  const int end = std::min(pageFirst + pageCount, keepHi);
  for (int i = from; i < end; i++)
    if (Wanted(i)) return i;
  for (int i = std::max(end, keepLo); i < keepHi; i++)
    if (Wanted(i)) return i;
  for (int i = std::min(from, keepHi) - 1; i >= keepLo; i--)
    if (Wanted(i)) return i;
  return -1;
}

bool InKeptWindowLocked(int index) { return index >= keepLo && index < keepHi; }

void ShowPage(int first, int count) {
  if (!photosMode) return;
  LockEntryList();
  if (first == pageFirst && count == pageCount) {
    UnlockEntryList();
    return;
  }
  pageFirst = first;
  pageCount = count;
  int lo, hi;
  KeptWindow(first, &lo, &hi);
  // Runs on the window's thread, before it paints: no tile holds a handle
  // that is deleted here.
  for (int i = keepLo; i < keepHi; i++) {
    FolderEntry& e = entryList[i];
    if ((i < lo || i >= hi) && e.thumbnail) {
      DeleteObject(e.thumbnail);
      e.thumbnail = nullptr;
    }
  }
  keepLo = lo;
  keepHi = hi;
  const bool start = !workerRunning && AnyWanted();
  if (start) workerRunning = true;
  const uint32_t startValue = listGeneration;
  UnlockEntryList();
  if (start) StartWorker(startValue);
}
