// The one list of entries the folder grid shows: the parent entry (but at
// the root), the sub-folders and the pictures of currentFolder, sorted.
//
// Sharing: the window's thread scans and owns every field; the thumbnail
// worker reads entryCount, kind, name and the scanned folder and writes the
// thumbnail fields. Both do so only while holding the list lock; the
// window's thread also takes it to read the thumbnail fields. No decode ever
// runs under the lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/wintypes.h"

const int kScanLimit = 510;  // the handheld's list, parent included
const int kPathMax = 512;    // wide characters, terminator included
// With photosMode: items listed besides the parent entry. A static array
// whose pages are touched only as entries fill them, so the handheld's 510
// cost what they always did.
const int kPhotosEntryLimit = 100000;
const int kMaxEntries = kPhotosEntryLimit + 2;  // the last slot is never filled
// With photosMode: thumbnails are kept only for this many entries around the
// shown page; the rest are dropped and made again when it comes back.
const int kThumbnailKeep = 2000;
const int kThumbnailKeepBehind = 500;  // of them, entries before the page

enum EntryKind { Folder = 0, Picture = 1 };

struct FolderEntry {
  WCHAR* name;   // heap copy of the item's name; ".." for the parent entry
  WCHAR* label;  // shown with the tile: pictures without their extension
  int32_t kind;  // EntryKind
  HBITMAP thumbnail;
  int32_t thumbnailWidth;
  int32_t thumbnailHeight;
  uint32_t fileSize;  // pictures: low 32 bits of the file size; 0 with photosMode
  bool thumbnailFailed;  // photosMode: the worker tried and got no picture
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

// With photosMode: folders and pictures the last scan found, parent entry
// aside; more than kPhotosEntryLimit means the list holds only the first.
extern int32_t entriesFound;

// Lists path (callers pass currentFolder) into the entry list and starts a
// thumbnail worker for it. 1 when both passes could start, else 0.
int ScanFolder(const WCHAR* path);
// Whether path's listing pattern (path, "\\*.*") fits kPathMax: a folder
// whose does not can never be listed, so it is not entered.
bool CanListFolder(const WCHAR* path);
// Releases names, labels and thumbnails; leaves entryCount as it was.
void FreeEntryList();
// Whether a file of this name is listed as a picture: the handheld's
// .gif .jpg .bmp .jpeg .png, with photosMode also .webp .heic .heif .avif
// .tif .tiff; any case.
bool IsPictureName(const WCHAR* name);
// Folders before pictures, then names ignoring case; with photosMode the
// names in natural order (CompareNamesNaturally).
int CompareEntries(const FolderEntry* a, const FolderEntry* b);
// Case ignored and runs of digits compared by value ("img2" before "img10");
// equal values with fewer leading zeros first, then the exact names, so only
// identical names tie.
int CompareNamesNaturally(const WCHAR* a, const WCHAR* b);

// The lock described above. Never held across a decode.
void LockEntryList();
void UnlockEntryList();

// WM_USER + 1: wParam the index whose thumbnail was just stored, lParam 0.
#define WM_THUMBNAIL_READY 0x0401

// Thread procedure; parameter is the listGeneration it works for. Without
// photosMode it takes the pictures in list order and ends after the last.
// With it, it takes the shown page first, then the entries after it, then
// those before, within the kept window, and ends when the window is done.
DWORD ThumbnailWorker(void* startValue);

// The window's thread tells which entries the grid shows (first, count) at
// each paint. With photosMode it drops the thumbnails that leave the kept
// window and starts a worker when the new window lacks some and none runs;
// without, it does nothing. Takes the list lock.
void ShowPage(int first, int count);
