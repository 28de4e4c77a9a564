// The --photos thumbnail cache from outside: korvane-list runs over real
// folders with XDG_CACHE_HOME in the test's own folder, and the records it
// leaves are damaged, and the pictures changed, the way disks and users do.
// The cache files' own rules (trimming, the bound) are checked in process.
#include "browser/thumbnail_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/cache_files.h"
#include "platform/file_reader.h"
#include "samples/jpeg_samples.h"
#include "samples/photo_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ThumbnailCache : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/photos");
    JpegSampleOptions o;
    o.width = 900;
    o.height = 600;
    ASSERT_EQ(WriteJpegSample(dir.At("root/photos/a.jpg").c_str(), o), 1);
    o.width = 300;
    o.height = 500;
    o.seed = 2;
    o.orientation = 6;
    ASSERT_EQ(WriteJpegSample(dir.At("root/photos/b.jpg").c_str(), o), 1);
    dir.Write("root/photos/c.tif", TiffFile(70, 31, GradientPixels(70, 31), 0));
    dir.Write("root/photos/d.jpg", "not a picture");
    UseCache("cache");
  }
  void UseCache(const std::string& name) { setenv("XDG_CACHE_HOME", dir.At(name).c_str(), 1); }
  std::string Records() const { return dir.At("cache/korvane-viewer/thumbnails"); }
  // The run's printed lines, its bitmaps kept in folder out.
  std::vector<std::string> List(const std::string& out, bool photos = true) {
    fs::create_directories(dir.At(out));
    std::vector<std::string> args = {"--root",    dir.At("root"), "--thumbnails",
                                     "--bitmaps", dir.At(out),    "\\photos"};
    if (photos) args.insert(args.begin(), "--photos");
    ToolRun run = RunTool("korvane-list", args, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return Lines(run.out);
  }
  // Every file of a folder, by name.
  std::vector<std::pair<std::string, std::string>> Files(const std::string& folder) const {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec))
      files.push_back({item.path().filename().string(), ReadHostFile(item.path().string())});
    std::sort(files.begin(), files.end());
    return files;
  }
  // A picture's modification time.
  struct timespec Modified(const std::string& name) const {
    struct stat st = {};
    stat(dir.At(name).c_str(), &st);
    return st.st_mtim;
  }
  // Rewrites a file and sets its modification time.
  void Rewrite(const std::string& name, const std::string& bytes, struct timespec modified) {
    dir.Write(name, bytes);
    struct timespec times[2] = {{0, UTIME_OMIT}, modified};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.At(name).c_str(), times, 0), 0);
  }
  void WriteRecord(const std::string& name, const std::string& bytes) {
    dir.Write("cache/korvane-viewer/thumbnails/" + name, bytes);
  }
  TempDir dir;
};

// Where the three pictures' thumbnails are announced; d.jpg gives none.
const std::vector<std::string> kAnnounced = {"ready\t1\t54x36", "ready\t2\t32x53",
                                             "ready\t3\t35x16", "ready\t4\t0x0", "done"};

std::vector<std::string> Tail(const std::vector<std::string>& lines) {
  return lines.size() < kAnnounced.size()
             ? lines
             : std::vector<std::string>(lines.end() - (long)kAnnounced.size(), lines.end());
}

// The announcement of entry index, or "" when there is none.
std::string Announced(const std::vector<std::string>& lines, int index) {
  const std::string prefix = "ready\t" + std::to_string(index) + "\t";
  for (const std::string& line : lines)
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
}

TEST_F(ThumbnailCache, TheSecondRunComesFromTheCacheBitForBit) {
  const std::vector<std::string> first = List("first");
  EXPECT_EQ(Tail(first), kAnnounced);
  // One record per thumbnail made; the broken picture gets none.
  const auto records = Files(Records());
  EXPECT_EQ(records.size(), 3u);
  // A picture whose bytes changed but whose size and time did not is taken
  // from its record: only the cache can still show it.
  const std::string a = ReadHostFile(dir.At("root/photos/a.jpg"));
  const struct timespec modified = Modified("root/photos/a.jpg");
  Rewrite("root/photos/a.jpg", std::string(a.size(), 'x'), modified);
  const std::vector<std::string> second = List("second");
  EXPECT_EQ(second, first);
  const auto bitmaps = Files(dir.At("first"));
  EXPECT_EQ(bitmaps.size(), 3u);
  EXPECT_TRUE(Files(dir.At("second")) == bitmaps);
  EXPECT_TRUE(Files(Records()) == records);  // nothing written again
  // A fresh cache decodes the same bits.
  Rewrite("root/photos/a.jpg", a, modified);
  UseCache("fresh-cache");
  EXPECT_EQ(List("fresh"), first);
  EXPECT_TRUE(Files(dir.At("fresh")) == bitmaps);
}

TEST_F(ThumbnailCache, ANewTimeOrSizeMakesTheThumbnailAgain) {
  EXPECT_EQ(Tail(List("first")), kAnnounced);
  const std::string name = "root/photos/a.jpg";
  const std::string garbage(ReadHostFile(dir.At(name)).size(), 'x');
  const struct timespec modified = Modified(name);
  struct timespec later = modified;
  later.tv_sec += 1;
  // Same size and time: the record stands.
  Rewrite(name, garbage, modified);
  EXPECT_EQ(Announced(List("same"), 1), "ready\t1\t54x36");
  // A second later: decoded again, and the garbage gives nothing.
  Rewrite(name, garbage, later);
  EXPECT_EQ(Announced(List("later"), 1), "ready\t1\t0x0");
  // The old time but one byte more: decoded again too.
  Rewrite(name, garbage + "x", modified);
  EXPECT_EQ(Announced(List("longer"), 1), "ready\t1\t0x0");
  // Nothing was stored for those, so the record matches once more.
  Rewrite(name, garbage, modified);
  EXPECT_EQ(Announced(List("back"), 1), "ready\t1\t54x36");
}

TEST_F(ThumbnailCache, DamagedRecordsAreIgnoredAndReplaced) {
  const std::vector<std::string> first = List("first");
  const auto records = Files(Records());
  ASSERT_EQ(records.size(), 3u);
  // Cut short, overwritten, and one that claims 60000 x 60000 with a
  // checksum that holds.
  std::string claim = records[2].second;
  for (int at : {16, 20}) {
    claim[at] = (char)0x60;
    claim[at + 1] = (char)0xEA;
  }
  const uint64_t sum = ThumbnailRecordChecksum((const BYTE*)claim.data(), claim.size() - 8);
  for (int i = 0; i < 8; i++) claim[claim.size() - 8 + i] = (char)(sum >> (8 * i));
  WriteRecord(records[0].first, records[0].second.substr(0, records[0].second.size() / 2));
  WriteRecord(records[1].first, std::string(records[1].second.size(), '\xff'));
  WriteRecord(records[2].first, claim);
  EXPECT_EQ(List("second"), first);
  EXPECT_TRUE(Files(dir.At("second")) == Files(dir.At("first")));
  EXPECT_TRUE(Files(Records()) == records);  // each made again, the same
  // A foreign file of a megabyte is not even read, and replaced too.
  WriteRecord(records[0].first, std::string(1 << 20, 'K'));
  EXPECT_EQ(List("third"), first);
  EXPECT_TRUE(Files(Records()) == records);
}

TEST_F(ThumbnailCache, OnlyWithPhotosAndNeverInTheWay) {
  // The handheld's face keeps thumbnails in memory only.
  const std::vector<std::string> plain = List("plain", false);
  EXPECT_EQ(plain.back(), "done");
  EXPECT_FALSE(fs::exists(dir.At("cache")));
  // A cache folder that cannot be made: the same thumbnails, none kept.
  const std::vector<std::string> first = List("first");
  UseCache("blocked");
  dir.MakeFolder("blocked");
  dir.Write("blocked/korvane-viewer", "a file where the folder goes");
  EXPECT_EQ(List("blocked-run"), first);
  EXPECT_TRUE(Files(dir.At("blocked-run")) == Files(dir.At("first")));
  EXPECT_EQ(ReadHostFile(dir.At("blocked/korvane-viewer")), "a file where the folder goes");
}

TEST(CacheFiles, TrimDropsTheLeastUsedAndReadsStayBounded) {
  TempDir dir;
  const std::string folder = dir.At("made/on/write");
  // Writing makes the folders and leaves no temporary file.
  ASSERT_EQ(CacheFileWrite(folder.c_str(), "one", "abc", 3), 1);
  ASSERT_EQ(CacheFileWrite(folder.c_str(), "one", "abcd", 4), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  char buffer[8] = {};
  EXPECT_EQ(CacheFileRead(folder.c_str(), "one", buffer, sizeof(buffer)), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(CacheFileRead(folder.c_str(), "one", buffer, 3), -1);  // larger than asked
  EXPECT_EQ(CacheFileRead(folder.c_str(), "none", buffer, sizeof(buffer)), -1);
  fs::remove(folder + "/one");

  // Ten files of 1000 bytes, last used two days ago and later by the name.
  const time_t now = time(nullptr);
  for (int i = 0; i < 10; i++) {
    const std::string name = "made/on/write/" + std::to_string(i);
    dir.Write(name, std::string(1000, 'r'));
    struct timespec times[2] = {{0, UTIME_OMIT}, {now - 200000 + i * 100, 0}};
    utimensat(AT_FDCWD, dir.At(name).c_str(), times, 0);
  }
  // A temporary file a killed writer left two hours ago goes; a fresh one stays.
  dir.Write("made/on/write/7.tmp.OLD123", "x");
  struct timespec stale[2] = {{0, UTIME_OMIT}, {now - 7200, 0}};
  utimensat(AT_FDCWD, (folder + "/7.tmp.OLD123").c_str(), stale, 0);
  dir.Write("made/on/write/8.tmp.NEW456", "x");
  // Below the limit nothing else is removed.
  CacheFolderTrim(folder.c_str(), 20000, 5000);
  EXPECT_FALSE(fs::exists(folder + "/7.tmp.OLD123"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 11);
  // Reading the oldest marks it as used now, so it outlives the others.
  std::vector<char> whole(1000);
  EXPECT_EQ(CacheFileRead(folder.c_str(), "0", whole.data(), 1000), 1000);
  CacheFolderTrim(folder.c_str(), 9000, 3500);
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(folder)) left.push_back(item.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"0", "8", "8.tmp.NEW456", "9"}));
}

// A call that stays in the reader until Release; its state is shared with
// the reader so that it outlives a test that gave up on it.
struct Gate {
  std::mutex lock;
  std::condition_variable release;
  bool released = false;
  std::atomic<bool> running{false};
};

ReaderCallFunction Blocked(std::shared_ptr<Gate> gate) {
  return [gate](char*, DWORD) {
    gate->running = true;
    std::unique_lock<std::mutex> hold(gate->lock);
    gate->release.wait(hold, [&] { return gate->released; });
    return 0L;
  };
}

// Lets the blocked call return, then waits until key is served again.
void ReleaseAndWaitForServing(Gate* gate, const WCHAR* key) {
  {
    std::lock_guard<std::mutex> hold(gate->lock);
    gate->released = true;
  }
  gate->release.notify_all();
  while (ReaderCall(
             key, [](char*, DWORD) { return 0L; }, nullptr, 0) != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Whether a call on key is refused without being run (the key is stuck).
bool RefusedUnrun(const WCHAR* key) {
  auto ran = std::make_shared<std::atomic<bool>>(false);
  long result = ReaderCall(
      key,
      [ran](char*, DWORD) {
        *ran = true;
        return 0L;
      },
      nullptr, 0);
  return result == -1 && !*ran;
}

TEST(CacheFiles, AStalledFolderCostsOneWaitThenNone) {
  // A call stuck in the cache folder (as a dead network home would leave it)
  // is given up after the reader's bound; later calls on that folder fail
  // at once, other files read on, and once it returns the folder works again.
  auto gate = std::make_shared<Gate>();
  const WCHAR* key = L"/stalled/cache";
  auto start = std::chrono::steady_clock::now();
  long stuck = ReaderCall(key, Blocked(gate), nullptr, 0);
  EXPECT_EQ(stuck, -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kReaderWaitMs));
  // Refused without being run: the folder is known to be stuck.
  EXPECT_TRUE(RefusedUnrun(key));
  EXPECT_EQ(ReaderCall(
                L"/elsewhere", [](char*, DWORD) { return 7L; }, nullptr, 0),
            7);
  ReleaseAndWaitForServing(gate.get(), key);
}

// Holds the thread it interrupts in its handler until a byte comes down the
// pipe, as the scheduler holds off a nice 19 worker on a loaded machine.
int heldPipe[2] = {-1, -1};
std::atomic<bool> holding{false};  // lock-free: safe in the handler
void HoldThread(int) {
  holding = true;
  char c;
  while (read(heldPipe[0], &c, 1) < 0 && errno == EINTR) {
  }
  holding = false;
}

TEST(CacheFiles, AStuckCallIsLeftThoughItsCallerCannotRun) {
  // The caller of a stuck call is held past its wait; the next caller, queued
  // behind it, leaves the stuck call when its own wait ends, so that the
  // calls after it are served by a fresh reader instead of failing behind it.
  ASSERT_EQ(pipe(heldPipe), 0);
  struct sigaction hold = {}, old = {};
  hold.sa_handler = HoldThread;
  sigemptyset(&hold.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &hold, &old), 0);
  auto gate = std::make_shared<Gate>();
  const WCHAR* key = L"/stuck/caller";
  std::atomic<long> stuck{0};
  std::thread caller([&] { stuck = ReaderCall(key, Blocked(gate), nullptr, 0); });
  while (!gate->running) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  pthread_kill(caller.native_handle(), SIGUSR1);
  while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(ReaderCall(
                L"/elsewhere", [](char*, DWORD) { return 7L; }, nullptr, 0),
            -1);
  EXPECT_EQ(ReaderCall(
                L"/elsewhere", [](char*, DWORD) { return 7L; }, nullptr, 0),
            7);
  EXPECT_TRUE(RefusedUnrun(key));
  ASSERT_EQ(write(heldPipe[1], "x", 1), 1);
  caller.join();
  EXPECT_EQ(stuck, -1);
  sigaction(SIGUSR1, &old, nullptr);
  close(heldPipe[0]);
  close(heldPipe[1]);
  ReleaseAndWaitForServing(gate.get(), key);
}

}  // namespace
