// The registry: keys under HKEY_LOCAL_MACHINE with typed values, kept in one
// text file (the registry editor's export format) that survives the
// program. Every change is saved at once by replacing the file atomically.
#pragma once

#include "platform/wintypes.h"

#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

typedef DWORD REGSAM;

LONG RegOpenKeyExW(HKEY key, const WCHAR* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExW(HKEY key, const WCHAR* subKey, DWORD reserved, WCHAR* keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition);
// size in bytes, in and out. A REG_SZ value's data is its wide characters
// with the terminator; sizes count sizeof(WCHAR) bytes per character.
LONG RegQueryValueExW(HKEY key, const WCHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
LONG RegSetValueExW(HKEY key, const WCHAR* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegCloseKey(HKEY key);

// The file that holds the registry: path, or null for the default,
// $XDG_CONFIG_HOME (else ~/.config) /korvane-viewer/registry.reg. Call
// before the first registry operation.
void PlatformSetRegistryFile(const char* path);
