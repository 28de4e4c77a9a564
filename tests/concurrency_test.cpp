// The window's thread scanning again and again while workers decode. Run
// under ThreadSanitizer too: any race between scans and workers fails it.
#include <gtest/gtest.h>

#include <string>

#include "browser/entry_list.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "samples/jpeg_samples.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thumbnail_window.h"

namespace {

// Each folder's pictures have their own size, so a thumbnail stored into a
// list of another folder shows at once.
struct FolderSpec {
  const char* name;
  const WCHAR* device;
  int width, height;
};
const FolderSpec kFolders[] = {
    {"wide", L"\\wide", 40, 20},
    {"tall", L"\\tall", 20, 40},
    {"square", L"\\square", 30, 30},
};
const int kPicturesPerFolder = 5;
const int kScans = 3000;

// Called with the list lock held.
void CheckListLocked(const FolderSpec& folder) {
  for (int i = 0; i < entryCount; i++) {
    const FolderEntry& e = entryList[i];
    if (!e.thumbnail) continue;
    ASSERT_EQ(e.kind, Picture);
    ASSERT_EQ(e.thumbnailWidth, folder.width) << folder.name << " entry " << i;
    ASSERT_EQ(e.thumbnailHeight, folder.height) << folder.name << " entry " << i;
  }
}

TEST(Concurrency, ScansWhileWorkersDecode) {
  TempDir dir;
  for (const FolderSpec& f : kFolders) {
    dir.MakeFolder(f.name);
    for (int i = 0; i < kPicturesPerFolder; i++) {
      JpegSampleOptions o;
      o.width = f.width;
      o.height = f.height;
      o.quality = 50;
      o.seed = (unsigned)i;
      std::string path = dir.At(std::string(f.name) + "/p" + std::to_string(i) + ".jpg");
      ASSERT_EQ(WriteJpegSample(path.c_str(), o), 1);
    }
  }
  int liveAtStart = PlatformLiveObjectCount();
  {
    ThumbnailWindow window;
    const FolderSpec* shown = &kFolders[0];
    window.onReady = [&](int index) {
      LockEntryList();
      ASSERT_LT(index, entryCount);
      CheckListLocked(*shown);
      UnlockEntryList();
    };
    for (int scan = 0; scan < kScans; scan++) {
      shown = &kFolders[scan % 3];
      wcscpy(currentFolder, shown->device);
      ASSERT_EQ(ScanFolder(currentFolder), 1);
      window.PumpQueued();
      if (scan % 7 == 0) Sleep(1);  // now and then let a worker finish a decode
      if (HasFatalFailure()) return;
    }
    // The workers must really have raced the scans, not just run after them.
    EXPECT_GT(window.ready().size(), 100u);
    window.PumpUntilWorkersEnd();
    LockEntryList();
    CheckListLocked(*shown);
    int stored = 0;
    for (int i = 0; i < entryCount; i++) stored += entryList[i].thumbnail != nullptr;
    UnlockEntryList();
    EXPECT_EQ(stored, kPicturesPerFolder);  // the last worker ran to its end
    window.onReady = nullptr;
  }
  FreeEntryList();
  EXPECT_EQ(PlatformLiveObjectCount(), liveAtStart);
}

}  // namespace
