// Files under the device root. Device paths are wide strings separated by
// backslashes ("\Pictures\a.jpg"); "\" and "" name the root. The root is a
// host folder, "/" unless set otherwise. Host names that are not valid UTF-8
// travel in wide strings as U+DC80..U+DCFF, one per stray byte, so a name
// read from the host opens the same file again.
#pragma once

#include <cstdio>

#include "platform/wintypes.h"

#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

// hostDir must exist; a relative folder is taken from the working folder.
// Returns 1 when set.
int PlatformSetDeviceRoot(const char* hostDir);
const char* PlatformDeviceRoot();

// Host bytes of a device path. "." is skipped and ".." drops the component
// before it, never climbing above the root. A name that does not exist as
// written matches an item that differs only in case, as on the handheld. Returns 0 (out empty) when the
// path holds a character that cannot name a host file or the result does
// not fit in outSize bytes.
int DevicePathToHost(const WCHAR* path, char* out, size_t outSize);
// Device path of a host path (absolute, or relative to the working folder)
// that lies inside the device root. Returns 0 when it lies outside, when a
// name holds a backslash, or when it does not fit in outCount characters.
int HostPathToDevice(const char* hostPath, WCHAR* out, size_t outCount);

// One host name (no separators) to a wide string and back. Both return 0
// when the result does not fit; HostNameFromWide also for characters that
// no host name can hold.
int WideFromHostName(const char* name, WCHAR* out, size_t outCount);
int HostNameFromWide(const WCHAR* name, char* out, size_t outSize);

// Opens an existing regular file for reading; INVALID_HANDLE_VALUE when it
// is missing, a folder, or anything but a plain file (a pipe never blocks).
// Opens and reads run on the platform's reader thread and fail after 2 s
// without an answer (a stalled mount), or at once for a file known to stall.
// Starts the thread that opens and reads picture files now, at the
// caller's priority, before the caller lowers its own (a reader slowed to a
// background thread's share would slow every read). Any thread; cheap once
// the reader runs.
void PrepareFileReads();

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
// Reads up to count bytes; *read is 0 at the end of the file.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* overlapped);
// The file's size when it was opened; 0xFFFFFFFF (and *high 0) for a bad handle.
DWORD GetFileSize(HANDLE file, DWORD* high);
// 100-nanosecond intervals since 1601, as the handheld counts file times.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
// The file's last change when it was opened, into *lastWrite; the host keeps
// no creation time, so creation and lastAccess (either may be null) get the
// same. FALSE for a bad handle.
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
// Moves the read position (FILE_BEGIN, FILE_CURRENT or FILE_END);
// INVALID_SET_FILE_POINTER on failure.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method);
// Closes a file handle; FALSE for any other handle. A read still running on
// another thread finishes on the open file.
BOOL CloseHandle(HANDLE object);

// The runtime's buffered files; only reading modes are offered (the device
// is only ever read). Same opening rules as CreateFileW.
FILE* _wfopen(const WCHAR* path, const WCHAR* mode);
