// Small files of the program's own in a cache folder (a host folder such as
// ProgramUserFolder's thumbnails/): read whole, replaced atomically, the
// folder kept below a size. Every call runs on the file reader and is
// waited for like a picture read: a cache folder that stalls costs one
// wait of kReaderWaitMs, after which its calls fail at once until the stuck
// one returns; a folder that cannot be written fails its calls. A cache is
// never needed, so every failure only means "not cached". Any thread.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// The bytes of folder/name when it is a regular file of at most maximum
// bytes: their count, or -1 (missing, larger, unreadable, no answer in
// time). A file last marked more than a day ago is marked as used now, so
// that trimming drops the files least used first.
long CacheFileRead(const char* folder, const char* name, void* buffer, DWORD maximum);

// Replaces folder/name with count bytes: they are written under a
// temporary name that is then renamed over it, so that a reader sees the
// old file or the whole new one. Makes the folder and its parents where
// missing. 1 when done, else 0.
int CacheFileWrite(const char* folder, const char* name, const void* bytes, DWORD count);

// When the regular files of folder hold more than maxBytes, removes them
// least recently used first until they hold at most keepBytes; also removes
// what writers that were killed left behind. Costs one listing of the
// folder, so callers trim once in a while, not per file.
void CacheFolderTrim(const char* folder, uint64_t maxBytes, uint64_t keepBytes);
