#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "browser/entry_list.h"
#include "platform/registry.h"
#include "browser/settings.h"
#include "tests/support/temp_dir.h"

namespace {

const WCHAR kKey[] = L"Software\\Korvane\\Viewer";

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : file_(dir_.At("config/registry.reg")) {
    PlatformSetRegistryFile(file_.c_str());
  }
  ~SettingsTest() override {
    PlatformSetRegistryFile(nullptr);
    currentFolder[0] = 0;
  }

  // Writes "Dir" straight through the registry.
  void StoreRaw(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    WCHAR noClass[] = L"";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, noClass, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, L"Dir", 0, type, (const BYTE*)data, size), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // currentFolder after LoadSettings, which starts from a folder of junk.
  std::wstring Loaded() {
    wcscpy(currentFolder, L"\\junk");
    LoadSettings();
    return currentFolder;
  }

  TempDir dir_;
  std::string file_;
};

TEST_F(SettingsTest, FirstRunCreatesTheKeyWithoutValuesAndLoadsTheRoot) {
  EXPECT_EQ(Loaded(), L"");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, 0, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Dir", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(SettingsTest, OddFoldersRoundTrip) {
  // As long as a folder path can be; the old limit of 255 characters too.
  const std::wstring longest = L"\\" + std::wstring(kPathMax - 2, L'x');
  const std::wstring folders[] = {
      L"",
      L"\\Pictures",
      L"\\My \"quoted\" folder\\with\\backslashes",
      L"\\line\nbreak\ttab",
      std::wstring(L"\\lone\xD800high\xDFFFlow"),
      std::wstring(L"\\raw\xDC80\xDCFFbytes"),
      L"\\smile \U0001F600 \u00e9t\u00e9",
      std::wstring(L"\\") + std::wstring(255, L'y'),
      longest,
  };
  for (const std::wstring& folder : folders) {
    wcscpy(currentFolder, folder.c_str());
    SaveSettings();
    EXPECT_EQ(Loaded(), folder);
    // Stored as a string with its terminator.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, 0, &key), ERROR_SUCCESS);
    DWORD type = REG_NONE, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"Dir", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(size, (folder.size() + 1) * sizeof(WCHAR));
    RegCloseKey(key);
  }
  EXPECT_EQ(longest.size(), (size_t)kPathMax - 1);
  // One character more is no folder path: it restores as the root.
  const std::wstring tooLong = longest + L"y";
  StoreRaw(REG_SZ, tooLong.c_str(), (DWORD)((tooLong.size() + 1) * sizeof(WCHAR)));
  EXPECT_EQ(Loaded(), L"");
}

TEST_F(SettingsTest, UnusableValuesLoadTheRoot) {
  const DWORD number = 5;
  StoreRaw(REG_DWORD, &number, sizeof(number));
  EXPECT_EQ(Loaded(), L"");
  const WCHAR unterminated[] = {L'\\', L'a', L'b'};
  StoreRaw(REG_SZ, unterminated, sizeof(unterminated));
  EXPECT_EQ(Loaded(), L"");
  // Fills the buffer exactly, with no room for a terminator.
  std::wstring full(kPathMax, L'z');
  StoreRaw(REG_SZ, full.data(), (DWORD)(full.size() * sizeof(WCHAR)));
  EXPECT_EQ(Loaded(), L"");
  const WCHAR binary[] = L"\\bin";
  StoreRaw(REG_BINARY, binary, sizeof(binary));
  EXPECT_EQ(Loaded(), L"");
  // A terminator with half a character after it: the text is read up to it.
  BYTE ragged[sizeof(binary) + 2] = {};
  memcpy(ragged, binary, sizeof(binary));
  StoreRaw(REG_SZ, ragged, sizeof(ragged));
  EXPECT_EQ(Loaded(), L"\\bin");
}

TEST_F(SettingsTest, TrailingBackslashesAreDropped) {
  const WCHAR* stored[] = {L"\\a\\", L"\\a\\\\", L"\\"};
  const WCHAR* loaded[] = {L"\\a", L"\\a", L""};
  for (int i = 0; i < 3; i++) {
    StoreRaw(REG_SZ, stored[i], (DWORD)((wcslen(stored[i]) + 1) * sizeof(WCHAR)));
    EXPECT_EQ(Loaded(), loaded[i]);
  }
}

TEST_F(SettingsTest, DamagedStoreIsNotWrittenByLoading) {
  dir_.MakeFolder("config");
  const std::string garbage = "Windows Registry Editor Version 5.00\n\"Dir\"=oops\n";
  dir_.Write("config/registry.reg", garbage);
  EXPECT_EQ(Loaded(), L"");
  EXPECT_EQ(ReadHostFile(file_), garbage);
  // Saving a folder replaces it.
  wcscpy(currentFolder, L"\\Saved");
  SaveSettings();
  EXPECT_EQ(Loaded(), L"\\Saved");
}

}  // namespace
