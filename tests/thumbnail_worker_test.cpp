#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "browser/entry_list.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "samples/jpeg_samples.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thumbnail_window.h"

namespace {

// A small JPEG whose thumbnail size tells which picture it came from.
void WritePicture(const TempDir& dir, const std::string& name, int width, int height) {
  JpegSampleOptions o;
  o.width = width;
  o.height = height;
  o.quality = 60;
  ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1) << name;
}

std::vector<int> PictureIndices() {
  std::vector<int> out;
  for (int i = 0; i < entryCount; i++)
    if (entryList[i].kind == Picture) out.push_back(i);
  return out;
}

class ThumbnailWorkerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    window.PumpUntilWorkersEnd();
    FreeEntryList();
    EXPECT_EQ(PlatformLiveObjectCount(), liveAtStart) << "a bitmap or context leaked";
  }
  int liveAtStart = PlatformLiveObjectCount();
  ThumbnailWindow window;
};

TEST_F(ThumbnailWorkerTest, AnnouncesEachPictureInListOrder) {
  TempDir dir;
  dir.MakeFolder("sub");
  for (int i = 0; i < 20; i++) {
    char name[16];
    snprintf(name, sizeof(name), "p%02d.jpg", i);
    if (i == 3)
      dir.Write(name, "not a picture at all");  // the fourth picture is damaged
    else
      WritePicture(dir, name, 108, 54);
  }
  wcscpy(currentFolder, L"");
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  window.PumpUntilWorkersEnd();
  std::vector<int> expected = PictureIndices();
  ASSERT_EQ(expected.size(), 20u);
  int damaged = expected[3];
  expected.erase(expected.begin() + 3);
  EXPECT_EQ(window.ready(), expected);
  EXPECT_EQ(entryList[damaged].thumbnail, nullptr);
  for (int i : expected) {
    EXPECT_NE(entryList[i].thumbnail, nullptr);
    EXPECT_EQ(entryList[i].thumbnailWidth, 54);
    EXPECT_EQ(entryList[i].thumbnailHeight, 27);
  }
}

TEST_F(ThumbnailWorkerTest, FoldersOnlyPostNothing) {
  TempDir dir;
  dir.MakeFolder("a");
  dir.MakeFolder("b");
  wcscpy(currentFolder, L"");
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  window.PumpUntilWorkersEnd();
  EXPECT_TRUE(window.ready().empty());
}

TEST_F(ThumbnailWorkerTest, PicturesOfTheRootAndOfASubFolder) {
  TempDir dir;
  dir.MakeFolder("Trips");
  WritePicture(dir, "Trips/a.jpg", 54, 54);
  wcscpy(currentFolder, L"\\Trips");
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  window.PumpUntilWorkersEnd();
  EXPECT_EQ(window.ready(), std::vector<int>{1});  // after the parent entry
}

TEST_F(ThumbnailWorkerTest, ANewScanCutsTheOldWorkerOff) {
  TempDir dir;
  dir.MakeFolder("old");
  dir.MakeFolder("new");
  // Old pictures are landscape, new ones portrait: a thumbnail of the wrong
  // list would show in its size.
  for (int i = 0; i < 12; i++) WritePicture(dir, "old/o" + std::to_string(i) + ".jpg", 1600, 800);
  for (int i = 0; i < 6; i++) WritePicture(dir, "new/n" + std::to_string(i) + ".jpg", 40, 80);
  for (int round = 0; round < 5; round++) {
    window.Clear();
    wcscpy(currentFolder, L"\\old");
    ASSERT_EQ(ScanFolder(currentFolder), 1);
    // Let the old worker get into its decodes (or not, some rounds).
    for (int spin = 0; spin < round * 3; spin++) {
      window.PumpQueued();
      Sleep(1);
    }
    wcscpy(currentFolder, L"\\new");
    ASSERT_EQ(ScanFolder(currentFolder), 1);
    window.PumpUntilWorkersEnd();
    for (int i : PictureIndices()) {
      ASSERT_NE(entryList[i].thumbnail, nullptr);
      EXPECT_EQ(entryList[i].thumbnailWidth, 20);
      EXPECT_EQ(entryList[i].thumbnailHeight, 40);
    }
  }
}

TEST_F(ThumbnailWorkerTest, AWorkerOfAReplacedListDoesNothing) {
  TempDir dir;
  for (int i = 0; i < 4; i++) WritePicture(dir, "x" + std::to_string(i) + ".jpg", 64, 64);
  wcscpy(currentFolder, L"");
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  uint32_t replaced = listGeneration;
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  window.PumpUntilWorkersEnd();
  std::vector<HBITMAP> stored;
  for (int i : PictureIndices()) stored.push_back(entryList[i].thumbnail);
  window.Clear();
  // A worker that starts only now, for the replaced list, ends at once:
  // nothing decoded, stored or announced.
  DWORD result = 99;
  std::thread late([&] { result = ThumbnailWorker((void*)(uintptr_t)replaced); });
  late.join();
  EXPECT_EQ(result, 0u);
  window.PumpQueued();
  EXPECT_TRUE(window.ready().empty());
  std::vector<HBITMAP> after;
  for (int i : PictureIndices()) after.push_back(entryList[i].thumbnail);
  EXPECT_EQ(after, stored);
}

TEST_F(ThumbnailWorkerTest, BigFilesGetNoThumbnail) {
  TempDir dir;
  JpegSampleOptions o;
  o.width = 2400;
  o.height = 1800;
  o.quality = 100;
  ASSERT_EQ(WriteJpegSample(dir.At("huge.jpg").c_str(), o), 1);
  ASSERT_GT(ReadHostFile(dir.At("huge.jpg")).size(), 1048576u);
  WritePicture(dir, "small.jpg", 100, 100);
  wcscpy(currentFolder, L"");
  ASSERT_EQ(ScanFolder(currentFolder), 1);
  window.PumpUntilWorkersEnd();
  ASSERT_EQ(entryCount, 2);
  EXPECT_EQ(entryList[0].thumbnail, nullptr);  // huge.jpg is above 1 MiB
  EXPECT_EQ(window.ready(), std::vector<int>{1});
}

}  // namespace
