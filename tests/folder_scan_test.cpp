#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "browser/entry_list.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "platform/wstring.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unreadable.h"

namespace {

std::string Bytes(const WCHAR* wide) {
  char out[1024];
  return HostNameFromWide(wide, out, sizeof(out)) ? out : "?";
}

// "F name|label" or "P name|label" per entry, in list order.
std::vector<std::string> Listing() {
  std::vector<std::string> out;
  for (int i = 0; i < entryCount; i++) {
    const FolderEntry& e = entryList[i];
    out.push_back(std::string(e.kind == Folder ? "F " : "P ") + Bytes(e.name) + "|" + Bytes(e.label));
  }
  return out;
}

// Scans a device path the way the window does: currentFolder first.
int Scan(const WCHAR* folder) {
  wcscpy(currentFolder, folder);
  int result = ScanFolder(currentFolder);
  PlatformWaitForThreads();  // the worker must not outlive the test's folder
  return result;
}

using Lines = std::vector<std::string>;

TEST(FolderScan, RootHasNoParentAndFoldersComeFirst) {
  TempDir dir;
  dir.Write("z.jpg", "");
  dir.MakeFolder("Zoo");
  dir.Write("a.png", "");
  EXPECT_EQ(Scan(L""), 1);
  EXPECT_EQ(Listing(), (Lines{"F Zoo|Zoo", "P a.png|a", "P z.jpg|z"}));
}

TEST(FolderScan, PicturesByExtensionAndLabels) {
  TempDir dir;
  dir.MakeFolder("f");
  for (const char* name : {"a.JPG", "b.Png", "c.tif", "holiday.final.jpeg", "photo.jpg.bak", ".png",
                           "x.GIF", "y.bMp", "noext", "trailing."})
    dir.Write(std::string("f/") + name, "data");
  dir.MakeFolder("f/2005.summer");
  dir.MakeFolder("f/.cache");
  EXPECT_EQ(Scan(L"\\f"), 1);
  EXPECT_EQ(Listing(), (Lines{"F ..|", "F 2005.summer|2005.summer", "P .png|", "P a.JPG|a",
                              "P b.Png|b", "P holiday.final.jpeg|holiday.final", "P x.GIF|x",
                              "P y.bMp|y"}));
  EXPECT_EQ(entryList[3].fileSize, 4u);
}

TEST(FolderScan, SortOrder) {
  TempDir dir;
  dir.MakeFolder("s");
  for (const char* folder : {"Beta", "alpha", "-old", "(x)", "_u"}) dir.MakeFolder(std::string("s/") + folder);
  for (const char* name : {"abc.jpg", "ab.jpg", "b.jpg", "b.gif", "apple.jpg", "_x.jpg", "a2.jpg",
                           "a10.jpg", "\xc3\x89t\xc3\xa9.jpg", "\xc3\xa9ta.jpg"})
    dir.Write(std::string("s/") + name, "");
  EXPECT_EQ(Scan(L"\\s"), 1);
  // The parent entry sorts by its name: after "(x)" and "-old" (codes below
  // the dot), before letters and the underscore. Accented capitals fold too.
  EXPECT_EQ(Listing(),
            (Lines{"F (x)|(x)", "F -old|-old", "F ..|", "F _u|_u", "F alpha|alpha", "F Beta|Beta",
                   "P _x.jpg|_x", "P a10.jpg|a10", "P a2.jpg|a2", "P ab.jpg|ab", "P abc.jpg|abc",
                   "P apple.jpg|apple", "P b.gif|b", "P b.jpg|b", "P \xc3\xa9ta.jpg|\xc3\xa9ta",
                   "P \xc3\x89t\xc3\xa9.jpg|\xc3\x89t\xc3\xa9"}));
}

TEST(FolderScan, CompareEntries) {
  WCHAR a[] = L"abc", b[] = L"ABCD", c[] = L"zeta";
  FolderEntry pa = {a, a, Picture, nullptr, 0, 0, 0, false};
  FolderEntry pb = {b, b, Picture, nullptr, 0, 0, 0, false};
  FolderEntry fc = {c, c, Folder, nullptr, 0, 0, 0, false};
  EXPECT_LT(CompareEntries(&pa, &pb), 0);  // a prefix first, case ignored
  EXPECT_GT(CompareEntries(&pb, &pa), 0);
  EXPECT_EQ(CompareEntries(&pa, &pa), 0);
  EXPECT_LT(CompareEntries(&fc, &pa), 0);  // folders before pictures
}

TEST(FolderScan, OddNamesListAndOpen) {
  TempDir dir;
  dir.MakeFolder("o");
  const std::vector<std::string> names = {"with space.jpg", ".hidden.jpg", "..two.png",
                                          "caf\xc3\xa9.gif", "\xff\xfe raw.bmp", "a'b,c.jpeg"};
  for (const std::string& n : names) dir.Write("o/" + n, n);
  EXPECT_EQ(Scan(L"\\o"), 1);
  ASSERT_EQ(entryCount, (int)names.size() + 1);
  for (int i = 1; i < entryCount; i++) {
    // The listed name, joined to the folder, opens the same file.
    WCHAR path[kPathMax];
    swprintf(path, kPathMax, L"%ls\\%ls", currentFolder, entryList[i].name);
    FILE* f = _wfopen(path, L"rb");
    ASSERT_NE(f, nullptr) << Bytes(entryList[i].name);
    char content[64] = {};
    size_t got = fread(content, 1, sizeof(content) - 1, f);
    fclose(f);
    EXPECT_EQ(std::string(content, got), Bytes(entryList[i].name));
  }
}

TEST(FolderScan, NamesWithABackslashAreLeftOut) {
  TempDir dir;
  dir.MakeFolder("b");
  dir.MakeFolder("b/a\\c");
  dir.Write("b/..\\x.jpg", "");
  dir.Write("b/ok.jpg", "");
  EXPECT_EQ(Scan(L"\\b"), 1);
  EXPECT_EQ(Listing(), (Lines{"F ..|", "P ok.jpg|ok"}));
}

TEST(FolderScan, LinksFollowFoldersAndDanglingOnesArePlainFiles) {
  TempDir dir;
  dir.MakeFolder("l");
  dir.MakeFolder("real");
  ASSERT_EQ(symlink(dir.At("real").c_str(), dir.At("l/linked").c_str()), 0);
  ASSERT_EQ(symlink(dir.At("nowhere.jpg").c_str(), dir.At("l/dangling.jpg").c_str()), 0);
  EXPECT_EQ(Scan(L"\\l"), 1);
  EXPECT_EQ(Listing(), (Lines{"F ..|", "F linked|linked", "P dangling.jpg|dangling"}));
}

TEST(FolderScan, CrowdedFolderKeepsTheFirst510InEnumerationOrder) {
  TempDir dir;
  dir.MakeFolder("many");
  dir.MakeFolder("elsewhere");
  for (int i = 0; i < 600; i++) {
    dir.Write("many/p" + std::to_string(i) + ".jpg", "");
    // Folders, links to one, other files and a dangling picture link among
    // the pictures: every folder is listed wherever it comes, then the
    // pictures the list still has room for.
    if (i % 97 == 0) dir.MakeFolder("many/f" + std::to_string(i));
    if (i % 50 == 0) dir.Write("many/n" + std::to_string(i) + ".txt", "");
  }
  ASSERT_EQ(symlink(dir.At("elsewhere").c_str(), dir.At("many/linked").c_str()), 0);
  ASSERT_EQ(symlink(dir.At("nowhere").c_str(), dir.At("many/dangling.jpg").c_str()), 0);
  // The host's own listing order decides which pictures make it.
  std::vector<std::string> folders, pictures;
  for (const auto& item : std::filesystem::directory_iterator(dir.At("many"))) {
    const std::string name = item.path().filename().string();
    if (item.is_directory())
      folders.push_back("F " + name);
    else if (item.path().extension() == ".jpg")
      pictures.push_back("P " + name);
  }
  pictures.resize(kScanLimit - 1 - folders.size());
  EXPECT_EQ(Scan(L"\\many"), 1);
  ASSERT_EQ(entryCount, kScanLimit);
  std::vector<std::string> got, listed = folders;
  listed.insert(listed.end(), pictures.begin(), pictures.end());
  for (int i = 1; i < entryCount; i++)
    got.push_back((entryList[i].kind == Folder ? "F " : "P ") + Bytes(entryList[i].name));
  std::sort(listed.begin(), listed.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, listed);
  EXPECT_EQ(entryList[kScanLimit].name, nullptr);
}

TEST(FolderScan, FoldersThatCannotBeListed) {
  TempDir dir;
  dir.MakeFolder("empty");
  dir.MakeFolder("locked");
  dir.Write("locked/a.jpg", "");
  dir.Write("file.jpg", "");
  EXPECT_EQ(Scan(L"\\empty"), 0);
  EXPECT_EQ(Listing(), (Lines{"F ..|"}));
  EXPECT_EQ(Scan(L"\\missing"), 0);
  EXPECT_EQ(Listing(), (Lines{"F ..|"}));
  EXPECT_EQ(Scan(L"\\file.jpg"), 0);
  EXPECT_EQ(entryCount, 1);
  EXPECT_EQ(ScanUnreadable(dir.At("locked"), L"\\locked"), "result 0 count 1");
}

TEST(FolderScan, CaseOfThePathDoesNotMatter) {
  TempDir dir;
  dir.MakeFolder("Pictures");
  dir.Write("Pictures/A.jpg", "");
  EXPECT_EQ(Scan(L"\\pictures"), 1);
  EXPECT_EQ(Listing(), (Lines{"F ..|", "P A.jpg|A"}));
  FILE* f = _wfopen(L"\\PICTURES\\a.JPG", L"rb");
  EXPECT_NE(f, nullptr);
  if (f) fclose(f);
}

TEST(FolderScan, GenerationRisesByTwoPerScan) {
  TempDir dir;
  dir.Write("a.jpg", "");
  uint32_t before = listGeneration;
  Scan(L"");
  Scan(L"");
  EXPECT_EQ(listGeneration, before + 4);
  Scan(L"\\missing");
  EXPECT_EQ(listGeneration, before + 6);
}

TEST(FolderScan, RescanReleasesEverything) {
  TempDir dir;
  dir.MakeFolder("d");
  dir.Write("a.jpg", "");
  Scan(L"");
  int n = entryCount;
  ASSERT_EQ(n, 2);
  FreeEntryList();
  EXPECT_EQ(entryCount, n);  // left for ScanFolder to reset
  for (int i = 0; i < n; i++) {
    EXPECT_EQ(entryList[i].name, nullptr);
    EXPECT_EQ(entryList[i].label, nullptr);
  }
}

TEST(FolderScan, PathTooLongForThePatternFails) {
  TempDir dir;
  // 508 characters of short names: the folder could exist, the pattern
  // "\\*.*" no longer fits in 512.
  std::wstring longPath;
  std::string host = dir.path();
  while (longPath.size() < kPathMax - 4) {
    longPath += L"\\ab";
    host += "/ab";
  }
  std::filesystem::create_directories(host);
  std::ofstream(host + "/a.jpg") << "x";
  wcscpy(currentFolder, longPath.c_str());
  EXPECT_EQ(ScanFolder(currentFolder), 0);
  EXPECT_EQ(entryCount, 1);
}

}  // namespace
