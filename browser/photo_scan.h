// The browser's own pieces for photosMode, shared by the scan and the worker.
// Every function here is called with the list lock held.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Lists pattern's folder after the parent entry (when there is one):
// folders, then pictures (the handheld's kinds and .webp .heic .heif .avif
// .tif .tiff), each in natural order, the first kPhotosEntryLimit in all.
// Sets entriesFound. False when the folder could not be listed.
bool ListPhotosFolderLocked(const WCHAR* pattern);

// A new list: the shown page goes back to its top (its size stays) and the
// kept window follows it. True when a worker should be started for it,
// which is then counted as running.
bool ResetShownPageLocked();
// The worker for generation startValue could not start, or found nothing
// more to do.
void WorkerEndedLocked(uint32_t startValue);
// The next entry the worker should decode: the shown page, then after it,
// then before it, within the kept window. -1 when none is left.
int NextWantedEntryLocked();
// Whether a thumbnail for index may be stored now.
bool InKeptWindowLocked(int index);
