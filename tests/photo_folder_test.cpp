// --photos in the folder browser: natural order, the wider set of picture
// kinds, and the worker that follows the shown page within a bounded window.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "browser/entry_list.h"
#include "imaging/photos.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "platform/wstring.h"
#include "samples/jpeg_samples.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thumbnail_window.h"

namespace {

std::string Bytes(const WCHAR* wide) {
  char out[1024];
  return HostNameFromWide(wide, out, sizeof(out)) ? out : "?";
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

int Natural(const std::string& a, const std::string& b) {
  return CompareNamesNaturally(Wide(a).c_str(), Wide(b).c_str());
}

TEST(PhotoOrder, NamesCompareByTheirNumbers) {
  const std::vector<std::string> sorted = {
      "",  "#1",   "0",         "00",    "1",     "01",   "2",       "9",   "10",  "99999999999999999999",
      "100000000000000000000",  "a",     "A1",    "a1",   "a01",     "a1b", "a2",  "A02",
      "a02", "a2.5", "a10",     "a010", "a10.jpg", "img.jpg", "Img2",  "img2", "img10", "~"};
  // Every pair agrees with the list's order, both ways.
  for (size_t i = 0; i < sorted.size(); i++) {
    EXPECT_EQ(Natural(sorted[i], sorted[i]), 0) << sorted[i];
    for (size_t j = i + 1; j < sorted.size(); j++) {
      EXPECT_LT(Natural(sorted[i], sorted[j]), 0) << sorted[i] << " / " << sorted[j];
      EXPECT_GT(Natural(sorted[j], sorted[i]), 0) << sorted[j] << " / " << sorted[i];
    }
  }
  // CompareEntries: folders first in either mode; the names' order follows it.
  WCHAR ten[] = L"img10", two[] = L"img2";
  FolderEntry p10 = {ten, ten, Picture, nullptr, 0, 0, 0, false};
  FolderEntry p2 = {two, two, Picture, nullptr, 0, 0, 0, false};
  FolderEntry f10 = {ten, ten, Folder, nullptr, 0, 0, 0, false};
  EXPECT_LT(CompareEntries(&p10, &p2), 0);
  SetPhotosMode(true);
  EXPECT_GT(CompareEntries(&p10, &p2), 0);
  EXPECT_LT(CompareEntries(&f10, &p2), 0);
  SetPhotosMode(false);
}

class PhotoFolder : public ::testing::Test {
 protected:
  void TearDown() override {
    window.PumpUntilWorkersEnd();
    FreeEntryList();
    SetPhotosMode(false);
    EXPECT_EQ(PlatformLiveObjectCount(), liveAtStart) << "a thumbnail leaked";
  }
  int Scan(const WCHAR* folder, bool photos) {
    SetPhotosMode(photos);
    wcscpy(currentFolder, folder);
    int result = ScanFolder(currentFolder);
    window.PumpUntilWorkersEnd();
    return result;
  }
  std::vector<std::string> Names(int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i < to; i++) out.push_back(Bytes(entryList[i].name));
    return out;
  }
  int liveAtStart = PlatformLiveObjectCount();
  ThumbnailWindow window;
};

TEST_F(PhotoFolder, ThousandsOfNumberedNamesInBothModes) {
  TempDir dir;
  dir.MakeFolder("n");
  const char* cases[] = {"img", "IMG", "Img"};
  std::vector<std::string> pictures;
  for (int i = 1; i <= 3000; i++) {
    std::string name = std::string(cases[i % 3]) + std::to_string(i) + ".jpg";
    dir.Write("n/" + name, "");
    pictures.push_back(name);
  }
  for (const char* name : {"a.webp", "b.HEIC", "c.heif", "d.Avif", "e.tif", "f.TIFF", "g.txt", "h.jpg.bak"})
    dir.Write(std::string("n/") + name, "");
  for (int i = 1; i <= 12; i++) dir.MakeFolder("n/day" + std::to_string(i));
  dir.MakeFolder("n/.hidden");

  ASSERT_EQ(Scan(L"\\n", true), 1);
  ASSERT_EQ(entryCount, 1 + 12 + 6 + 3000);
  EXPECT_EQ(entriesFound, 12 + 6 + 3000);
  EXPECT_EQ(Bytes(entryList[0].name), "..");
  std::vector<std::string> folders;
  for (int i = 1; i <= 12; i++) folders.push_back("day" + std::to_string(i));
  EXPECT_EQ(Names(1, 13), folders);
  EXPECT_EQ(Names(13, 19),
            (std::vector<std::string>{"a.webp", "b.HEIC", "c.heif", "d.Avif", "e.tif", "f.TIFF"}));
  EXPECT_EQ(Bytes(entryList[13].label), "a");
  EXPECT_EQ(Names(19, entryCount), pictures);  // img1, IMG2, Img3 ... by number, case ignored
  for (int i = 13; i < entryCount; i++) ASSERT_EQ(entryList[i].kind, Picture) << i;

  // Without --photos: the first 510, the handheld's kinds, its order.
  ASSERT_EQ(Scan(L"\\n", false), 1);
  ASSERT_EQ(entryCount, kScanLimit);
  EXPECT_EQ(Bytes(entryList[0].name), "..");
  EXPECT_EQ(Names(1, 13), (std::vector<std::string>{"day1", "day10", "day11", "day12", "day2", "day3",
                                                    "day4", "day5", "day6", "day7", "day8", "day9"}));
  for (int i = 14; i < entryCount; i++) {
    ASSERT_LT(_wcsicmp(entryList[i - 1].name, entryList[i].name), 0) << i;
    ASSERT_EQ(Bytes(entryList[i].name).substr(Bytes(entryList[i].name).size() - 4), ".jpg");
  }
}

// One JPEG written once and copied.
class PhotoWorker : public PhotoFolder {
 protected:
  void MakePictures(int count, int damaged, int width = 16, int height = 8) {
    dir.MakeFolder("w");
    JpegSampleOptions o;
    o.width = width;
    o.height = height;
    ASSERT_EQ(WriteJpegSample(dir.At("one.jpg").c_str(), o), 1);
    std::string bytes = ReadHostFile(dir.At("one.jpg"));
    for (int i = 0; i < count; i++)
      dir.Write("w/p" + std::to_string(i) + ".jpg", i == damaged ? "not a picture" : bytes);
  }
  // Entries whose worker is done: a thumbnail or a failure.
  std::set<int> Done() {
    std::set<int> out;
    LockEntryList();
    for (int i = 0; i < entryCount; i++)
      if (entryList[i].thumbnail || entryList[i].thumbnailFailed) out.insert(i);
    UnlockEntryList();
    return out;
  }
  std::vector<int> Held() {
    std::vector<int> out;
    for (int i = 0; i < entryCount; i++)
      if (entryList[i].thumbnail) out.push_back(i);
    return out;
  }
  TempDir dir;
};

TEST_F(PhotoWorker, TheShownPageFirstThenAfterThenBefore) {
  // Large enough that the worker is still busy when the fifth one arrives.
  MakePictures(300, -1, 640, 480);
  const int page = 150, count = 12;
  std::set<int> doneAtJump;
  size_t announcedAtJump = 0;
  // The jump comes while the worker is at the top of the list.
  window.onReady = [&](int) {
    if (window.ready().size() != 5) return;
    doneAtJump = Done();
    announcedAtJump = window.ready().size();
    ShowPage(page, count);
  };
  SetPhotosMode(true);
  wcscpy(currentFolder, L"\\w");
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  window.PumpUntilWorkersEnd();
  ASSERT_EQ(announcedAtJump, 5u);
  // What the worker still had to do at the jump, in the order it owes it.
  std::vector<int> owed;
  for (int i = page; i < entryCount; i++) owed.push_back(i);
  for (int i = page - 1; i >= 1; i--) owed.push_back(i);
  owed.erase(std::remove_if(owed.begin(), owed.end(), [&](int i) { return doneAtJump.count(i) > 0; }),
             owed.end());
  std::vector<int> after;
  for (size_t k = announcedAtJump; k < window.ready().size(); k++)
    if (!doneAtJump.count(window.ready()[k])) after.push_back(window.ready()[k]);
  // At most the decode under way at the jump comes before the page.
  ASSERT_FALSE(after.empty());
  if (after != owed) {
    EXPECT_TRUE(after[0] < page || after[0] >= page + count) << after[0];
    owed.erase(std::find(owed.begin(), owed.end(), after[0]));
    EXPECT_EQ(std::vector<int>(after.begin() + 1, after.end()), owed);
  }
  EXPECT_EQ(Held().size(), 300u);  // 300 fit the kept window: every one stays
}

TEST_F(PhotoWorker, TheKeptWindowMovesWithThePageAndFailuresStayMarked) {
  const int total = kThumbnailKeep + 600;  // entries 1 .. 2600, after the parent
  MakePictures(total, 7);
  int damaged = -1;
  ASSERT_EQ(Scan(L"\\w", true), 1);
  for (int i = 0; i < entryCount; i++)
    if (Bytes(entryList[i].name) == "p7.jpg") damaged = i;
  // From the top: the first 2000 entries, the damaged one marked and announced.
  std::vector<int> held = Held();
  ASSERT_EQ(held.size(), (size_t)kThumbnailKeep - 2);  // less the parent and p7
  EXPECT_EQ(held.front(), 1);
  EXPECT_EQ(held.back(), kThumbnailKeep - 1);
  EXPECT_TRUE(entryList[damaged].thumbnailFailed);
  EXPECT_EQ(entryList[damaged].thumbnail, nullptr);
  EXPECT_EQ(window.ready().size(), (size_t)kThumbnailKeep - 1);
  EXPECT_EQ(std::count(window.ready().begin(), window.ready().end(), damaged), 1);

  // The page again: nothing to do, no worker.
  ShowPage(0, 12);
  ShowPage(0, 12);
  EXPECT_EQ(PlatformRunningThreads(), 0);

  // The last page: the window ends with the list, 500 entries of the old
  // one stay, the rest are dropped.
  window.Clear();
  ShowPage(entryCount - 9, 12);
  const int lo = entryCount - kThumbnailKeep;
  window.PumpUntilWorkersEnd();
  held = Held();
  ASSERT_EQ(held.size(), (size_t)kThumbnailKeep);
  EXPECT_EQ(held.front(), lo);
  EXPECT_EQ(held.back(), entryCount - 1);
  EXPECT_EQ(window.ready().size(), (size_t)(entryCount - kThumbnailKeep));
  EXPECT_EQ(window.ready().front(), entryCount - 9);

  // Back to the top: the dropped ones are made again, the failure is not
  // tried again.
  window.Clear();
  ShowPage(0, 12);
  window.PumpUntilWorkersEnd();
  EXPECT_EQ(Held().size(), (size_t)kThumbnailKeep - 2);
  EXPECT_EQ(window.ready().size(), (size_t)lo - 2);
  EXPECT_EQ(std::count(window.ready().begin(), window.ready().end(), damaged), 0);
  EXPECT_TRUE(entryList[damaged].thumbnailFailed);
}

}  // namespace
