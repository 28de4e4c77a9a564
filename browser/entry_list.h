// The one list of entries the folder grid shows: the parent entry (but at
// the root), the sub-folders and the pictures of currentFolder, sorted.
//
// Sharing: the window's thread scans and owns every field; the thumbnail
// worker reads entryCount, kind, name and the scanned folder and writes the
// three thumbnail fields. Both do so only while holding the list lock; the
// window's thread also takes it to read the thumbnail fields. No decode ever
// runs under the lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/wintypes.h"

const int kMaxEntries = 512;
const int kScanLimit = 510;  // slots 510 and 511 are never filled
const int kPathMax = 512;    // wide characters, terminator included

enum EntryKind { Folder = 0, Picture = 1 };

struct FolderEntry {
  WCHAR* name;   // heap copy of the item's name; ".." for the parent entry
  WCHAR* label;  // shown with the tile: pictures without their extension
  int32_t kind;  // EntryKind
  HBITMAP thumbnail;
  int32_t thumbnailWidth;
  int32_t thumbnailHeight;
  uint32_t fileSize;  // pictures: low 32 bits of the file size
};

extern FolderEntry entryList[kMaxEntries];
extern int32_t entryCount;
// Raised by one before the old entries are released and by one more before
// the new ones are filled: a worker that saw another value stops.
extern uint32_t listGeneration;
// A copy of listGeneration stored each time it changes, for the worker's
// decode to notice without the lock that its list was replaced.
extern std::atomic<uint32_t> listGenerationNow;
// The folder shown; no trailing backslash, the root is "". Window thread only:
// the worker builds its paths from the copy ScanFolder takes under the lock,
// so changing this before a scan never races a worker of the old list.
extern WCHAR currentFolder[kPathMax];
// currentFolder as the last ScanFolder saw it. Read with the list lock held.
extern WCHAR scannedFolder[kPathMax];
// The main window, which the worker tells of each thumbnail.
extern HWND mainWindow;

// Lists path (callers pass currentFolder) into the entry list and starts a
// thumbnail worker for it. 1 when both passes could start, else 0.
int ScanFolder(const WCHAR* path);
// Releases names, labels and thumbnails; leaves entryCount as it was.
void FreeEntryList();
// Folders before pictures, then names ignoring case.
int CompareEntries(const FolderEntry* a, const FolderEntry* b);

// The lock described above. Never held across a decode.
void LockEntryList();
void UnlockEntryList();

// WM_USER + 1: wParam the index whose thumbnail was just stored, lParam 0.
#define WM_THUMBNAIL_READY 0x0401

// Thread procedure; parameter is the listGeneration it works for.
DWORD ThumbnailWorker(void* startValue);
