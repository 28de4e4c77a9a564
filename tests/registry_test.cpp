#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/registry_format.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unreadable.h"

namespace {

const WCHAR kKey[] = L"Software\\Korvane\\Viewer";

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : file_(dir_.At("config/registry.reg")) {
    PlatformSetRegistryFile(file_.c_str());
  }
  ~RegistryTest() override { PlatformSetRegistryFile(nullptr); }

  HKEY Create(const WCHAR* path = kKey, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    WCHAR noClass[] = L"";
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, noClass, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
  LONG Open(const WCHAR* path, HKEY* key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, key);
  }
  // The value's type and bytes, or "" with the error in *result.
  std::vector<BYTE> Query(HKEY key, const WCHAR* name, DWORD* type, LONG* result) {
    std::vector<BYTE> data(8192);
    DWORD size = (DWORD)data.size();
    *result = RegQueryValueExW(key, name, nullptr, type, data.data(), &size);
    data.resize(*result == ERROR_SUCCESS ? size : 0);
    return data;
  }
  // Names of files beside the registry file.
  std::vector<std::string> FolderListing() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (auto& item : std::filesystem::directory_iterator(dir_.At("config"), ignored))
      names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
  std::string file_;
};

std::vector<BYTE> WideBytes(const std::wstring& s, bool terminator = true) {
  const BYTE* p = (const BYTE*)s.c_str();
  return std::vector<BYTE>(p, p + (s.size() + (terminator ? 1 : 0)) * sizeof(WCHAR));
}

TEST_F(RegistryTest, DefaultFileLivesInTheConfigFolder) {
  const char* saved = getenv("XDG_CONFIG_HOME");
  std::string previous = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", dir_.At("xdg").c_str(), 1);
  PlatformSetRegistryFile(nullptr);
  RegCloseKey(Create());
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.At("xdg/korvane-viewer/registry.reg")));
  if (saved)
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryTest, ValuesOfEveryKindSurviveTheFile) {
  struct Case {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<BYTE> longBlob(300);
  for (size_t i = 0; i < longBlob.size(); i++) longBlob[i] = (BYTE)(i * 7);
  const Case cases[] = {
      {L"plain", REG_SZ, WideBytes(L"\\Pictures\\Holiday 2024")},
      {L"empty", REG_SZ, WideBytes(L"")},
      {L"quotes \"and\" \\ slashes", REG_SZ, WideBytes(L"say \"hi\" \\ there\\")},
      {L"accents", REG_SZ, WideBytes(L"\u00e9t\u00e9 \u65e5\u672c \U0001F600")},
      {L"surrogates", REG_SZ, WideBytes(std::wstring(L"a\xD800z\xDFFF") + L"\xDC80\xDCFF")},
      {L"newline", REG_SZ, WideBytes(L"one\ntwo\r\tthree")},
      {L"no terminator", REG_SZ, WideBytes(L"abc", false)},
      {L"terminator inside", REG_SZ, WideBytes(std::wstring(L"ab\0cd", 5))},
      {L"ragged", REG_SZ, {0x41, 0, 0}},
      {L"number", REG_DWORD, {0x0a, 0, 0, 0x80}},
      {L"short number", REG_DWORD, {1, 2}},
      {L"blob", REG_BINARY, longBlob},
      {L"nothing", REG_BINARY, {}},
      {L"multi", 7, WideBytes(std::wstring(L"a\0b\0", 4))},
      {L"", REG_SZ, WideBytes(L"default")},
  };
  HKEY key = Create();
  for (const Case& c : cases)
    ASSERT_EQ(RegSetValueExW(key, c.name.c_str(), 0, c.type, c.data.data(), (DWORD)c.data.size()),
              ERROR_SUCCESS);
  // Every query reads the file again.
  for (const Case& c : cases) {
    DWORD type = REG_NONE;
    LONG result;
    std::vector<BYTE> data = Query(key, c.name.c_str(), &type, &result);
    EXPECT_EQ(result, ERROR_SUCCESS) << c.data.size();
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, c.data);
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  std::string text = ReadHostFile(file_);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Viewer]\n"), std::string::npos);
  EXPECT_NE(text.find("\"quotes \\\"and\\\" \\\\ slashes\"=\"say \\\"hi\\\" \\\\ there\\\\\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"number\"=dword:8000000a\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
  // Nothing is left beside the file but the lock.
  EXPECT_EQ(FolderListing(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryTest, ReadsHandWrittenTextAndSeesOtherWriters) {
  dir_.MakeFolder("config");
  dir_.Write("config/registry.reg",
             "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
             "; a comment\r\n\r\n"
             "[hkey_local_machine\\SOFTWARE\\korvane\\VIEWER]\r\n"
             "\"Dir\"=\"\\\\Caf\xC3\xA9\"\r\n"
             "\"Bytes\"=hex:01,02,\\\r\n"
             "    FF\r\n");
  HKEY key = nullptr;
  ASSERT_EQ(Open(kKey, &key), ERROR_SUCCESS);
  HKEY parent = nullptr;
  EXPECT_EQ(Open(L"Software", &parent), ERROR_SUCCESS);  // implied by its child's section
  DWORD type;
  LONG result;
  EXPECT_EQ(Query(key, L"dir", &type, &result), WideBytes(L"\\Caf\u00e9"));
  EXPECT_EQ(Query(key, L"BYTES", &type, &result), (std::vector<BYTE>{1, 2, 0xFF}));
  EXPECT_EQ(type, (DWORD)REG_BINARY);

  // Another instance replaces the file while the key is open.
  dir_.Write("config/registry.reg",
             "Windows Registry Editor Version 5.00\n\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Viewer]\n\"Dir\"=\"\\\\New\"\n");
  EXPECT_EQ(Query(key, L"Dir", &type, &result), WideBytes(L"\\New"));
  EXPECT_EQ(Query(key, L"Bytes", &type, &result).size(), 0u);
  EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);

  // Sub-keys open relative to a key; a second create finds the key.
  HKEY relative = nullptr;
  EXPECT_EQ(RegOpenKeyExW(parent, L"Korvane\\Viewer", 0, 0, &relative), ERROR_SUCCESS);
  EXPECT_EQ(Query(relative, L"Dir", &type, &result), WideBytes(L"\\New"));
  DWORD disposition = 0;
  HKEY again = Create(L"software\\KORVANE\\viewer", &disposition);
  EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
  for (const WCHAR* bad : {L"a\\\\b", L"\\a", L"a\\", L"Missing"}) {
    HKEY none = nullptr;
    EXPECT_NE(Open(bad, &none), ERROR_SUCCESS);
    EXPECT_EQ(none, nullptr);
  }
  for (HKEY k : {key, parent, relative, again}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(RegistryTest, DamagedFilesReadEmptyAndOnlyAValueReplacesThem) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string section = "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Viewer]\n";
  const std::string damaged[] = {
      "not a registry at all",
      "REGEDIT4\n\n" + section + "\"Dir\"=\"\\\\a\"\n",
      header + "\"Dir\"=\"value before any key\"\n",
      header + section + "\"Dir\"=\"\\q\"\n",
      header + section + "\"Dir\"=\"unterminated\n",
      header + section + "\"Dir\"=dword:123\n",
      header + section + "\"Dir\"=hex:1,2\n",
      header + section + "\"Dir\"=\"\xC3\x28\"\n",
      header + section + "\"Dir\"=\"\xED\xA0\x80\"\n",  // an encoded surrogate
      header + "[HKEY_CURRENT_USER\\Software]\n",
      header + "[HKEY_LOCAL_MACHINE\\a\\\\b]\n",
      header + section + std::string(1100000, ';') + "\n",  // past the size cap
  };
  dir_.MakeFolder("config");
  for (const std::string& bytes : damaged) {
    dir_.Write("config/registry.reg", bytes);
    HKEY key = nullptr;
    EXPECT_EQ(Open(kKey, &key), ERROR_FILE_NOT_FOUND) << bytes.substr(0, 60);
    DWORD disposition = 0;
    key = Create(kKey, &disposition);
    EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
    DWORD type;
    LONG result;
    Query(key, L"Dir", &type, &result);
    EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(ReadHostFile(file_) == bytes) << bytes.substr(0, 60);
    std::vector<BYTE> data = WideBytes(L"\\x");
    EXPECT_EQ(RegSetValueExW(key, L"Dir", 0, REG_SZ, data.data(), (DWORD)data.size()),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, L"Dir", &type, &result), data);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
}

TEST_F(RegistryTest, FolderAtTheFilePathReadsEmptyAndRefusesSaves) {
  dir_.MakeFolder("config");
  dir_.MakeFolder("config/registry.reg");
  HKEY key = Create();
  ASSERT_NE(key, nullptr);
  std::vector<BYTE> data = WideBytes(L"\\x");
  EXPECT_NE(RegSetValueExW(key, L"Dir", 0, REG_SZ, data.data(), (DWORD)data.size()),
            ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_directory(file_));
  EXPECT_EQ(FolderListing(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, QuerySizesAndBuffers) {
  HKEY key = Create();
  std::vector<BYTE> data = WideBytes(L"abcdef");
  ASSERT_EQ(RegSetValueExW(key, L"v", 0, REG_SZ, data.data(), (DWORD)data.size()), ERROR_SUCCESS);
  DWORD type = REG_NONE, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, (DWORD)data.size());
  EXPECT_EQ(type, (DWORD)REG_SZ);
  BYTE buffer[64];
  memset(buffer, 0xAA, sizeof(buffer));
  size = 8;
  EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, (DWORD)data.size());
  for (size_t i = 8; i < sizeof(buffer); i++) ASSERT_EQ(buffer[i], 0xAA) << i;
  size = (DWORD)data.size();
  EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<BYTE>(buffer, buffer + size), data);
  EXPECT_EQ(buffer[size], 0xAA);
  EXPECT_EQ(RegQueryValueExW(key, L"missing", nullptr, &type, buffer, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ClosedAndForeignHandlesFail) {
  int before = HandleLiveCount(KIND_REGKEY);
  HKEY key = Create();
  HKEY other = nullptr;
  ASSERT_EQ(Open(kKey, &other), ERROR_SUCCESS);
  EXPECT_NE(key, other);
  EXPECT_EQ(HandleLiveCount(KIND_REGKEY), before + 2);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  BYTE byte = 1;
  EXPECT_EQ(RegSetValueExW(key, L"v", 0, REG_BINARY, &byte, 1), ERROR_INVALID_HANDLE);
  HKEY sub = nullptr;
  EXPECT_EQ(RegOpenKeyExW(key, L"x", 0, 0, &sub), ERROR_INVALID_HANDLE);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  for (HKEY foreign : {(HKEY)brush, (HKEY) nullptr, (HKEY)(uintptr_t)0x7654321})
    EXPECT_EQ(RegCloseKey(foreign), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
  EXPECT_EQ(HandleLiveCount(KIND_REGKEY), before);
}

TEST_F(RegistryTest, TwoProcessesSavingAtOnceKeepBothValues) {
  const int kRounds = 200;
  RegCloseKey(Create());
  pid_t children[2];
  for (int c = 0; c < 2; c++) {
    children[c] = fork();
    if (children[c] == 0) {
      // A save may fail when the other process held the lock past its
      // bound (a loaded machine); what must hold is that the last save that
      // succeeded is the one kept. The exit status carries its round.
      HKEY key = nullptr;
      if (Open(kKey, &key) != ERROR_SUCCESS) _exit(255);
      const WCHAR* name = c == 0 ? L"first" : L"second";
      DWORD lastSaved = 0;
      for (DWORD i = 1; i <= kRounds; i++)
        if (RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE*)&i, sizeof(i)) == 0) lastSaved = i;
      _exit((int)lastSaved);
    }
  }
  DWORD lastSaved[2] = {0, 0};
  for (int c = 0; c < 2; c++) {
    int status = -1;
    waitpid(children[c], &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 255) << status;
    lastSaved[c] = (DWORD)WEXITSTATUS(status);
    // Each failed save waited out the lock's bound, so not all of them failed.
    EXPECT_GT(lastSaved[c], 0u);
  }
  HKEY key = nullptr;
  ASSERT_EQ(Open(kKey, &key), ERROR_SUCCESS);
  const WCHAR* names[2] = {L"first", L"second"};
  for (int c = 0; c < 2; c++) {
    DWORD type;
    LONG result;
    std::vector<BYTE> data = Query(key, names[c], &type, &result);
    DWORD last = lastSaved[c];
    EXPECT_EQ(data, std::vector<BYTE>((BYTE*)&last, (BYTE*)&last + sizeof(last)));
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(FolderListing(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryTest, UnreadableFileIsLeftAloneUntilAValueIsWritten) {
  dir_.MakeFolder("config");
  const std::string bytes =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Other]\n\"x\"=dword:00000001\n";
  dir_.Write("config/registry.reg", bytes);
  chmod(file_.c_str(), 0);
  std::string answer = RunUnprivileged([this] {
    HKEY key = nullptr;
    LONG open = Open(L"Other", &key);
    key = Create();
    DWORD type;
    LONG query;
    Query(key, L"x", &type, &query);
    std::string unchanged = ReadHostFile(file_).empty() ? "unreadable" : "readable";
    BYTE byte = 7;
    LONG set = RegSetValueExW(key, L"y", 0, REG_BINARY, &byte, 1);
    return "open " + std::to_string(open) + " query " + std::to_string(query) + " " + unchanged +
           " set " + std::to_string(set);
  });
  EXPECT_EQ(answer, "open 2 query 2 unreadable set 0");
  // The set replaced the file with a readable one holding just its value.
  HKEY key = nullptr;
  ASSERT_EQ(Open(kKey, &key), ERROR_SUCCESS);
  DWORD type;
  LONG result;
  EXPECT_EQ(Query(key, L"y", &type, &result), std::vector<BYTE>{7});
  EXPECT_NE(Open(L"Other", &key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, SaveIntoAFolderWithoutWriteAccessKeepsTheOldFile) {
  HKEY key = Create();
  BYTE old = 1;
  ASSERT_EQ(RegSetValueExW(key, L"v", 0, REG_BINARY, &old, 1), ERROR_SUCCESS);
  std::string before = ReadHostFile(file_);
  chmod(dir_.At("config").c_str(), 0555);
  std::string answer = RunUnprivileged([key] {
    BYTE changed = 2;
    LONG set = RegSetValueExW(key, L"v", 0, REG_BINARY, &changed, 1);
    BYTE now = 0;
    DWORD size = 1;
    LONG query = RegQueryValueExW(key, L"v", nullptr, nullptr, &now, &size);
    return "set " + std::string(set == ERROR_SUCCESS ? "saved" : "failed") + " query " +
           std::to_string(query) + " value " + std::to_string(now);
  });
  chmod(dir_.At("config").c_str(), 0755);
  EXPECT_EQ(answer, "set failed query 0 value 1");
  EXPECT_EQ(ReadHostFile(file_), before);
  EXPECT_EQ(FolderListing(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}


// Text that reads is written back and reads the same, the root's section
// too: it exists whether or not the text names it (found by fuzzing: a bare
// root section read as one key more than what the writer made of it).
TEST(RegistryText, WrittenBackTextReadsTheSame) {
  const char* texts[] = {
      "Windows Registry Editor Version 5.00\n\n[HKEy_LOCAL_MACHINE]\n",
      "Windows Registry Editor Version 5.00\r\n\r\n;a Co\n[HKEY_LOCAL_MACHINE]\r\n",
      "Windows Registry Editor Version 5.00\n",
      "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A\\B]\n[HKEY_LOCAL_MACHINE]\n"
      "\"x\"=dword:00000001\n",
  };
  for (const char* text : texts) {
    RegStore first, second;
    ASSERT_TRUE(RegParseText(text, strlen(text), &first)) << text;
    const std::string written = RegFormatText(first);
    ASSERT_TRUE(RegParseText(written.data(), written.size(), &second)) << written;
    EXPECT_EQ(RegFormatText(second), written) << text;
    ASSERT_EQ(second.keys.size(), first.keys.size()) << text;
    for (size_t i = 0; i < first.keys.size(); i++) {
      EXPECT_EQ(second.keys[i].path, first.keys[i].path) << text;
      EXPECT_EQ(second.keys[i].values.size(), first.keys[i].values.size()) << text;
    }
  }
}

}  // namespace
