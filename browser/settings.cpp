// The folder last opened, remembered in the registry.
#include "browser/settings.h"

#include <cwchar>

#include "browser/entry_list.h"
#include "platform/registry.h"

namespace {

const WCHAR kSettingsKey[] = L"Software\\Korvane\\Viewer";
const WCHAR kFolderValue[] = L"Dir";
// The folder is read into as many characters as a folder path can have,
// terminator included, so every folder that can be entered is restored; a
// longer value is no folder path and restores as the root.
const size_t kStoredFolderChars = kPathMax;

// The settings key, created (empty class, no options) when it cannot be
// opened; null when neither works.
HKEY OpenSettingsKey() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS)
    return key;
  WCHAR noClass[] = L"";
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, noClass, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, &disposition) == ERROR_SUCCESS)
    return key;
  return nullptr;
}

}  // namespace

void SaveSettings() {
  HKEY key = OpenSettingsKey();
  if (!key) return;
  size_t length = wcsnlen(currentFolder, kPathMax);
  // currentFolder always holds its terminator; without one nothing is saved.
  if (length < (size_t)kPathMax)
    RegSetValueExW(key, kFolderValue, 0, REG_SZ, (const BYTE*)currentFolder,
                   (DWORD)((length + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
}

bool LoadSettings() {
  WCHAR buffer[kStoredFolderChars];
  buffer[0] = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof(buffer);
  LONG result = ERROR_FILE_NOT_FOUND;
  HKEY key = OpenSettingsKey();
  if (key) {
    result = RegQueryValueExW(key, kFolderValue, nullptr, &type, (BYTE*)buffer, &size);
    RegCloseKey(key);
  }
  currentFolder[0] = 0;
  if (result != ERROR_SUCCESS || type != REG_SZ || size > sizeof(buffer)) return false;
  // Only whole characters that were read count, and the text must end inside them.
  size_t count = size / sizeof(WCHAR);
  size_t length = wcsnlen(buffer, count);
  if (length == count) return false;
  // currentFolder never ends in a backslash.
  while (length > 0 && buffer[length - 1] == L'\\') length--;
  wmemcpy(currentFolder, buffer, length);
  currentFolder[length] = 0;
  return true;
}
