// Opens and reads of picture files, made on a reader thread of their own
// and waited for with a bound: a file whose read never returns (a stalled
// network or FUSE mount) costs its caller kReaderWaitMs, not its thread.
// Platform-internal; files.cpp builds CreateFileW and ReadFile on it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>

#include "platform/handles.h"
#include "platform/wintypes.h"

// How long a caller waits for one open or read. A local disk or a live
// network share answers a 16 KiB read within milliseconds; a file that has
// not answered in two seconds is as good as lost to a user at the window,
// and the slide show moves on every four. A disk still spinning up then
// shows black once and decodes on the next visit.
const int kReaderWaitMs = 2000;

// An open file; the descriptor closes with the last reference, so a read
// on the reader thread keeps it open while the caller closes the handle.
struct FileObject : PlatformObject {
  int fd;
  dev_t device;  // with inode: which file, to refuse one known to stall
  ino_t inode;
  int64_t size;  // at the open
  int64_t modified;  // at the open: nanoseconds since 1970
  FileObject(int f, dev_t d, ino_t i, int64_t s, int64_t m)
      : PlatformObject(KIND_FILE), fd(f), device(d), inode(i), size(s), modified(m) {}
  ~FileObject() override;
};

// Opens a device path as a regular file (never a pipe or device, which are
// refused without blocking). -1 when it cannot; *st filled on success.
// refuse (may be null) sees the file's status before the open: an open can
// block on a file whose read is stuck, so a file known to stall is not
// opened at all. Called on the reader thread only.
struct stat;
typedef bool (*OpenRefusal)(const struct stat* st);
int OpenRegularFile(const WCHAR* path, struct stat* st, OpenRefusal refuse);

// Opens path on the reader: a new FileObject holding one reference (the
// caller's), or null when it cannot be opened, did not open in time, or is
// a file known to stall.
FileObject* ReaderOpen(const WCHAR* path);
// Reads up to count bytes at the file's position on the reader, looping
// over short reads as ReadFile does. The count read (0 at the end), or -1
// when reading failed, did not end in time, or the file is known to stall.
long ReaderRead(FileObject* file, void* buffer, DWORD count);

// Other file work run on the reader and waited for alike (the cache
// folder's): call gets a buffer of count bytes, and a caller still waiting
// with a buffer receives as many as the call's result says. Its result, or
// -1 when it failed, did not end in time, or a call of the same key is
// stuck: key names what it touches (a host folder), so that a folder that
// stalls costs one wait, then none.
typedef std::function<long(char* buffer, DWORD count)> ReaderCallFunction;
long ReaderCall(const WCHAR* key, ReaderCallFunction call, void* buffer, DWORD count);
