// Listing a folder into the entry list: a pass for folders, a pass for
// pictures, then the sort, then the thumbnail worker.
#include <cstdlib>
#include <mutex>

#include "browser/entry_list.h"
#include "browser/photo_scan.h"
#include "imaging/photos.h"
#include "platform/findfile.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "platform/wstring.h"

FolderEntry entryList[kMaxEntries];
int32_t entryCount;
uint32_t listGeneration;
std::atomic<uint32_t> listGenerationNow;
WCHAR currentFolder[kPathMax];
WCHAR scannedFolder[kPathMax];
HWND mainWindow;

namespace {

std::mutex listLock;

const WCHAR kListingPattern[] = L"%ls\\*.*";

// path's listing pattern into pattern (kPathMax characters); false when it
// does not fit.
bool BuildPattern(const WCHAR* path, WCHAR* pattern) {
  return swprintf(pattern, kPathMax, kListingPattern, path) >= 0;
}

// The handheld's kinds first; photosMode lists the rest too.
const WCHAR* const kPictureExtensions[] = {L".gif",  L".jpg",  L".bmp",  L".jpeg",
                                           L".png",  L".webp", L".heic", L".heif",
                                           L".avif", L".tif",  L".tiff"};
const int kHandheldExtensions = 5;

// Adds an entry with heap copies of name and label; with cutExtension the
// label ends before its last dot. An entry whose copies cannot be made is
// not added. Called with the list lock held.
void AddEntry(const WCHAR* name, const WCHAR* label, EntryKind kind, uint32_t fileSize,
              bool cutExtension) {
  WCHAR* nameCopy = _wcsdup(name);
  WCHAR* labelCopy = _wcsdup(label);
  if (!nameCopy || !labelCopy) {
    free(nameCopy);
    free(labelCopy);
    return;
  }
  if (cutExtension) *wcsrchr(labelCopy, L'.') = 0;
  FolderEntry& e = entryList[entryCount];
  e.name = nameCopy;
  e.label = labelCopy;
  e.kind = kind;
  e.thumbnail = nullptr;
  e.thumbnailFailed = false;
  if (kind == Picture) e.fileSize = fileSize;
  entryCount++;
}

// One enumeration of the folder; wantFolders picks the pass. False when it
// could not start. Called with the list lock held.
bool ScanPass(const WCHAR* pattern, bool wantFolders) {
  WIN32_FIND_DATAW item;
  // A folder anywhere in the enumeration takes a place, so the folder pass
  // reads every name; it looks up only those that may be folders.
  HANDLE find = wantFolders ? FindFirstFolderW(pattern, &item) : FindFirstFileW(pattern, &item);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    if (entryCount >= kScanLimit) break;
    bool isFolder = (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (wantFolders) {
      // Drops ".", ".." and every folder whose name begins with a dot.
      if (isFolder && item.cFileName[0] != L'.')
        AddEntry(item.cFileName, item.cFileName, Folder, 0, false);
    } else if (!isFolder && IsPictureName(item.cFileName)) {
      AddEntry(item.cFileName, item.cFileName, Picture, item.nFileSizeLow, true);
    }
    if (entryCount >= kScanLimit) break;  // the list is full: ask for no more
  } while (FindNextFileW(find, &item));
  FindClose(find);
  return true;
}

int CompareForSort(const void* a, const void* b) {
  return CompareEntries((const FolderEntry*)a, (const FolderEntry*)b);
}

// FreeEntryList's work; called with the list lock held.
void FreeEntriesLocked() {
  int n = entryCount;
  listGeneration++;
  listGenerationNow.store(listGeneration, std::memory_order_relaxed);
  for (int i = 0; i < n; i++) {
    FolderEntry& e = entryList[i];
    if (e.thumbnail) {
      DeleteObject(e.thumbnail);
      e.thumbnail = nullptr;
    }
    free(e.name);
    free(e.label);
    e.name = nullptr;
    e.label = nullptr;
  }
}

}  // namespace

bool IsPictureName(const WCHAR* name) {
  const WCHAR* dot = wcsrchr(name, L'.');
  if (!dot) return false;
  const int count = photosMode ? (int)(sizeof(kPictureExtensions) / sizeof(kPictureExtensions[0]))
                               : kHandheldExtensions;
  for (int i = 0; i < count; i++)
    if (_wcsicmp(dot, kPictureExtensions[i]) == 0) return true;
  return false;
}

void LockEntryList() { listLock.lock(); }
void UnlockEntryList() { listLock.unlock(); }

int CompareEntries(const FolderEntry* a, const FolderEntry* b) {
  if (a->kind != b->kind) return a->kind - b->kind;
  if (photosMode) return CompareNamesNaturally(a->name, b->name);
  return _wcsicmp(a->name, b->name);
}

bool CanListFolder(const WCHAR* path) {
  WCHAR pattern[kPathMax];
  return BuildPattern(path, pattern);
}

void FreeEntryList() {
  std::lock_guard<std::mutex> hold(listLock);
  FreeEntriesLocked();
}

int ScanFolder(const WCHAR* path) {
  uint32_t startValue;
  {
    // The worker of the old list waits here, never for long: this block
    // enumerates and sorts, it decodes nothing.
    std::lock_guard<std::mutex> hold(listLock);
    FreeEntriesLocked();
    WCHAR pattern[kPathMax];
    bool fits = BuildPattern(path, pattern);
    entryCount = 0;
    listGeneration++;
    listGenerationNow.store(listGeneration, std::memory_order_relaxed);
    // What the worker joins names to; a path this long has failed above.
    if (fits) wcscpy(scannedFolder, path);
    if (path[0] != 0) AddEntry(L"..", L"", Folder, 0, false);
    if (photosMode) {
      // The parent entry stays first; the rest come sorted. A pattern that
      // does not fit is a folder that cannot be listed.
      entriesFound = 0;
      bool listed = fits && ListPhotosFolderLocked(pattern);
      bool wanted = ResetShownPageLocked();
      if (!listed) return 0;
      if (!wanted) return 1;
    } else {
      // A pattern that does not fit is a folder that cannot be listed. A
      // folder without sub-folders gives no folder pass: whether it can be
      // listed is the picture pass's answer.
      if (!fits) return 0;
      ScanPass(pattern, true);
      if (!ScanPass(pattern, false)) return 0;
      qsort(entryList, (size_t)entryCount, sizeof(FolderEntry), CompareForSort);
    }
    startValue = listGeneration;
  }
  // No handle is kept; a thread that cannot start leaves placeholders.
  if (!PlatformStartThread(ThumbnailWorker, (void*)(uintptr_t)startValue) && photosMode) {
    std::lock_guard<std::mutex> hold(listLock);
    WorkerEndedLocked(startValue);
  }
  return 1;
}
