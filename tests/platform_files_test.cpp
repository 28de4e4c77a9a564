#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/findfile.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Host(const WCHAR* device) {
  char out[4096];
  if (!DevicePathToHost(device, out, sizeof(out))) return "<fail>";
  return out;
}

TEST(DevicePaths, MapUnderTheRoot) {
  TempDir dir;
  const std::string& root = dir.path();
  struct Case {
    const WCHAR* device;
    std::string host;
  } cases[] = {
      {L"", root},
      {L"\\", root},
      {L"\\a.jpg", root + "/a.jpg"},
      {L"\\My Documents\\Trips\\x.jpg", root + "/My Documents/Trips/x.jpg"},
      {L"\\a\\.\\b", root + "/a/b"},
      {L"\\a\\..\\b", root + "/b"},
      // ".." never climbs above the root, however many there are.
      {L"\\..\\..\\etc\\passwd", root + "/etc/passwd"},
      {L"\\a\\..\\..\\..\\b", root + "/b"},
      {L"..", root},
      {L"\\a\\...\\b", root + "/a/.../b"},
      {L"\\caf\u00e9", root + "/caf\xc3\xa9"},
  };
  for (const Case& c : cases) EXPECT_EQ(Host(c.device), c.host) << "case " << (&c - cases);
}

TEST(DevicePaths, RefuseWhatNoHostNameHolds) {
  TempDir dir;
  const WCHAR lone[] = {L'\\', (WCHAR)0xD800, 0};
  const WCHAR beyond[] = {L'\\', (WCHAR)0x110000, 0};
  EXPECT_EQ(Host(lone), "<fail>");
  EXPECT_EQ(Host(beyond), "<fail>");
  char small[8];
  EXPECT_EQ(DevicePathToHost(L"\\a-name-that-does-not-fit", small, sizeof(small)), 0);
  EXPECT_EQ(small[0], 0);
}

TEST(DevicePaths, HostNamesRoundTripEvenWhenNotUtf8) {
  const char* names[] = {"plain.jpg", "caf\xc3\xa9.png", "\xff\xfe raw.jpg", "\xc3(", "\xed\xa0\x80",
                         "\xf0\x9f\x98\x80.gif", "\xc0\xaf overlong"};
  for (const char* name : names) {
    WCHAR wide[256];
    char back[256];
    ASSERT_EQ(WideFromHostName(name, wide, 256), 1) << name;
    ASSERT_EQ(HostNameFromWide(wide, back, sizeof(back)), 1) << name;
    EXPECT_STREQ(back, name);
  }
  WCHAR wide[256];
  ASSERT_EQ(WideFromHostName("\xff", wide, 256), 1);
  EXPECT_EQ((unsigned)wide[0], 0xDCFFu);
  EXPECT_EQ(WideFromHostName("abcdef", wide, 4), 0);
}

TEST(DevicePaths, FromHostPaths) {
  TempDir dir;
  dir.MakeFolder("sub");
  WCHAR device[512];
  ASSERT_EQ(HostPathToDevice(dir.At("sub/a.jpg").c_str(), device, 512), 1);
  EXPECT_STREQ(device, L"\\sub\\a.jpg");
  ASSERT_EQ(HostPathToDevice(dir.path().c_str(), device, 512), 1);
  EXPECT_STREQ(device, L"");
  ASSERT_EQ(HostPathToDevice((dir.path() + "/sub/../sub/./b.png").c_str(), device, 512), 1);
  EXPECT_STREQ(device, L"\\sub\\b.png");
  EXPECT_EQ(HostPathToDevice("/definitely-outside-the-root", device, 512), 0);
  EXPECT_EQ(HostPathToDevice(dir.At("back\\slash.jpg").c_str(), device, 512), 0);
  EXPECT_EQ(HostPathToDevice(dir.At("sub/a.jpg").c_str(), device, 6), 0);
}

TEST(Files, ReadThroughHandles) {
  TempDir dir;
  std::string content(40000, 'x');
  content[39999] = 'z';
  dir.Write("\xff odd.bin", content);
  WCHAR name[64];
  ASSERT_EQ(WideFromHostName("\xff odd.bin", name, 64), 1);
  std::wstring path = std::wstring(L"\\") + name;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[16384];
  DWORD got = 0, total = 0;
  while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    total += got;
    if (total == content.size()) {
      EXPECT_EQ(buffer[got - 1], 'z');
    }
  }
  EXPECT_EQ(total, content.size());
  EXPECT_EQ(CloseHandle(h), TRUE);
  EXPECT_EQ(CloseHandle(h), FALSE);
  EXPECT_EQ(ReadFile(h, buffer, 1, &got, nullptr), FALSE);
}

TEST(Files, OnlyPlainFilesOpen) {
  TempDir dir;
  dir.MakeFolder("folder.jpg");
  ASSERT_EQ(mkfifo(dir.At("pipe.jpg").c_str(), 0600), 0);
  for (const WCHAR* path : {L"\\folder.jpg", L"\\pipe.jpg", L"\\missing.jpg", L""}) {
    // A pipe with no writer would block a plain open forever.
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(_wfopen(path, L"rb"), nullptr);
  }
}

TEST(Files, BufferedFilesSeekAndTell) {
  TempDir dir;
  dir.Write("a.jpg", std::string(1234, 'q'));
  FILE* f = _wfopen(L"\\a.jpg", L"rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fseek(f, 0, SEEK_END), 0);
  EXPECT_EQ(ftell(f), 1234);
  ASSERT_EQ(fseek(f, 0, SEEK_SET), 0);
  EXPECT_EQ(fgetc(f), 'q');
  fclose(f);
  EXPECT_EQ(_wfopen(L"\\a.jpg", L"wb"), nullptr);  // the device is only read
}

}  // namespace

namespace {

std::vector<std::string> FindAll(const WCHAR* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW item;
  HANDLE find = FindFirstFileW(pattern, &item);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    char bytes[1024];
    HostNameFromWide(item.cFileName, bytes, sizeof(bytes));
    bool folder = item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    // A folder's own size depends on the host's file system.
    names.push_back(folder ? std::string("D ") + bytes
                           : std::string("F ") + bytes + " " + std::to_string(item.nFileSizeLow));
  } while (FindNextFileW(find, &item));
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Enumeration, PatternsAndAttributes) {
  TempDir dir;
  dir.MakeFolder("d");
  dir.MakeFolder("d/sub.jpg");
  dir.Write("d/noext", "12");
  dir.Write("d/A.JPG", "123");
  dir.Write("d/b.jpeg", "");
  dir.MakeFolder("empty");
  using Names = std::vector<std::string>;
  // "*.*" matches names without a dot too; "." and ".." never show.
  EXPECT_EQ(FindAll(L"\\d\\*.*"), (Names{"D sub.jpg", "F A.JPG 3", "F b.jpeg 0", "F noext 2"}));
  EXPECT_EQ(FindAll(L"\\d\\*.jpg"), (Names{"D sub.jpg", "F A.JPG 3"}));
  EXPECT_EQ(FindAll(L"\\d\\?.jp*"), (Names{"F A.JPG 3", "F b.jpeg 0"}));
  EXPECT_EQ(FindAll(L"\\D\\*.*").size(), 4u);  // the folder's case does not matter
  WIN32_FIND_DATAW item;
  for (const WCHAR* nothing : {L"\\empty\\*.*", L"\\missing\\*.*", L"\\d\\noext\\*.*", L"\\d\\*.png"})
    EXPECT_EQ(FindFirstFileW(nothing, &item), INVALID_HANDLE_VALUE);
}

}  // namespace
