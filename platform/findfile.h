// Directory enumeration: first, next, close over the host folder behind a
// device path. "." and ".." are never reported, so an empty folder fails to
// start exactly like a missing or unreadable one. Items come in the order the
// host folder lists them; names holding a backslash, which no device path can
// name, are left out.
#pragma once

#include "platform/files.h"

#define MAX_PATH 260

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;  // FILE_ATTRIBUTE_DIRECTORY (links followed) or _NORMAL
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  WCHAR cFileName[MAX_PATH];
};

// pattern: folder, backslash, name pattern. "*.*" and "*" match every name,
// with or without a dot; other patterns take * and ? and ignore case.
// INVALID_HANDLE_VALUE when nothing can be reported.
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data);
// The same enumeration without the sizes (reported as 0): an item whose type
// the host folder already tells is not looked up, which for a folder of
// 100,000 files saves as many stat calls. Links and file systems that tell
// no type are still looked up, so the directory attribute follows links.
HANDLE FindFirstFileBasicW(const WCHAR* pattern, WIN32_FIND_DATAW* data);
// Only the folders of the enumeration (links to folders included), in the
// same order and without sizes. An item the host folder types as anything
// but a folder or a link is passed over unread, so a folder of 100,000
// files costs one read of the folder rather than a look-up per file.
// INVALID_HANDLE_VALUE as well when the folder holds no folder.
HANDLE FindFirstFolderW(const WCHAR* pattern, WIN32_FIND_DATAW* data);
// FALSE at the end.
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);
