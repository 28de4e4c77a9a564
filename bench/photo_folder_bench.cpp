// Large folders with --photos: the scan of 100,000 files with and without
// it; how long after a jump to the end of 10,000 photos the shown page has
// its thumbnails, against plain library decodes of the same files (the
// floor); and the peak resident memory while such a folder is browsed.
//
//   photo_folder_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/pair.h"
#include "bench/photo_files.h"
#include "browser/entry_list.h"
#include "imaging/photos.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

const int kScanFiles = 100000;
const int kPhotoFiles = 10000;
const int kDistinctPhotos = 9;  // hard-linked over and over
const int kPageTiles = 9;       // full rows of a 240 x 320 page
const int kPaintedTiles = 12;   // with the partly shown row
const int kJumps = 5;

std::string scratch;
std::vector<std::string> distinct;  // host paths of the photos linked
int pageFirst;                      // the page waited for
int pageReady;                      // its tiles announced since the jump

LRESULT CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_THUMBNAIL_READY) {
    int index = (int)wParam;
    if (index >= pageFirst && index < pageFirst + kPageTiles) pageReady++;
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Empty files named img0.jpg ... : only the listing is timed.
std::string MakeScanFolder() {
  std::string folder = scratch + "/scan";
  std::filesystem::create_directories(folder);
  for (int i = 0; i < kScanFiles; i++) {
    std::string name = folder + "/img" + std::to_string(i) + ".jpg";
    int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd >= 0) close(fd);
  }
  return folder;
}

// kPhotoFiles names, each a hard link to one of the distinct photos.
std::string MakePhotoFolder(const char* name, int width, int height) {
  std::string folder = scratch + "/" + name;
  std::filesystem::create_directories(folder);
  std::vector<std::string> sources;
  for (int i = 0; i < kDistinctPhotos; i++) {
    std::string path = scratch + "/" + name + "-" + std::to_string(i) + ".jpg";
    if (width == 0) {
      MakePhotoUnder1MiB(path, 300 + (unsigned)i);
    } else {
      JpegSampleOptions o;
      o.width = width;
      o.height = height;
      o.seed = 400 + (unsigned)i;
      WriteJpegSample(path.c_str(), o);
    }
    sources.push_back(path);
  }
  for (int i = 0; i < kPhotoFiles; i++) {
    std::string link = folder + "/photo" + std::to_string(i) + ".jpg";
    std::filesystem::create_hard_link(sources[i % kDistinctPhotos], link);
  }
  if (width == 0) distinct = sources;
  return folder;
}

bool ScanHost(const std::string& hostFolder) {
  WCHAR device[kPathMax];
  if (!HostPathToDevice(hostFolder.c_str(), device, kPathMax)) return false;
  wcscpy(currentFolder, device);
  return ScanFolder(currentFolder) == 1;
}

void Scan(benchmark::State& state, const std::string& hostFolder, bool photos) {
  SetPhotosMode(photos);
  for (auto _ : state) {
    if (!ScanHost(hostFolder)) state.SkipWithError("scan failed");
    state.PauseTiming();
    PlatformDispatchUntilThreadsEnd();
    state.ResumeTiming();
  }
  state.counters["entries"] = entryCount;
  SetPhotosMode(false);
}

void DispatchUntilPageReady() {
  MSG msg;
  while (pageReady < kPageTiles && GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
}

// The grid's first page is painted and filled; then the thumb jumps to page
// first, as a paint after the drag would publish it.
double JumpMs(int first) {
  pageFirst = first;
  pageReady = 0;
  double start = NowMs();
  ShowPage(first, kPaintedTiles);
  DispatchUntilPageReady();
  return NowMs() - start;
}

double FloorMs() {
  double start = NowMs();
  for (const std::string& photo : distinct) {
    PlainJpegImage image;
    DecodeJpegPlain(photo.c_str(), 8, &image);
    benchmark::DoNotOptimize(image.samples.data());
  }
  return NowMs() - start;
}

// Kilobytes, from /proc/self/status: "VmRSS" or "VmHWM" (the peak).
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  size_t length = strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, length, field) == 0 && line[length] == ':') return atol(line.c_str() + length + 1);
  return -1;
}

// Starts the peak over from the current size (Linux 4.0 and later).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

int ThumbnailsHeld() {
  int held = 0;
  LockEntryList();
  for (int i = 0; i < entryCount; i++) held += entryList[i].thumbnail != nullptr;
  UnlockEntryList();
  return held;
}

void MeasureJumps(const std::string& folder) {
  SetPhotosMode(true);
  std::vector<double> ours, floors;
  for (int round = 0; round < kJumps; round++) {
    // The thumbnails decoded, not taken from the last round's cache.
    std::filesystem::remove_all(scratch + "/cache");
    if (!ScanHost(folder)) return;
    pageFirst = 1;  // after the parent entry
    pageReady = 0;
    ShowPage(0, kPaintedTiles);
    DispatchUntilPageReady();
    // The last full page, as the thumb dragged to the bottom leaves it.
    int last = entryCount - kPageTiles;
    ours.push_back(JumpMs(last - last % 3));
    floors.push_back(FloorMs());
    // Leaves the worker mid-window for the next scan to cut off.
  }
  PlatformDispatchUntilThreadsEnd();
  SetPhotosMode(false);
  std::sort(ours.begin(), ours.end());
  std::sort(floors.begin(), floors.end());
  printf("jump to the end of %d photos, 9 thumbnails: median %.1f ms (min %.1f, max %.1f); "
         "9 plain decodes %.1f ms\n",
         kPhotoFiles, ours[kJumps / 2], ours.front(), ours.back(), floors[kJumps / 2]);
}

// Opens the folder, waits for the worker, then jumps to the end, the
// middle and back to the top, each time until the worker is done.
void MeasureBrowsing(const std::string& folder) {
  SetPhotosMode(true);
  long before = StatusKb("VmRSS");
  ResetPeak();
  double start = NowMs();
  if (!ScanHost(folder)) return;
  printf("# scanned %d entries\n", entryCount);
  const int stops[] = {0, entryCount - kPageTiles, entryCount / 2, 0};
  int mostHeld = 0;
  for (int first : stops) {
    ShowPage(first - first % 3, kPaintedTiles);
    PlatformDispatchUntilThreadsEnd();
    mostHeld = std::max(mostHeld, ThumbnailsHeld());
  }
  double took = NowMs() - start;
  printf("browsing %d photos (top, end, middle, top; %.1f s): resident %ld kB before, "
         "%ld kB after, peak %ld kB; at most %d thumbnails held\n",
         kPhotoFiles, took / 1000, before, StatusKb("VmRSS"), StatusKb("VmHWM"), mostHeld);
  SetPhotosMode(false);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  scratch = std::filesystem::temp_directory_path().string() + "/viewer-photo-folder-bench";
  std::filesystem::remove_all(scratch);
  // --photos keeps thumbnails in the cache folder: the scratch folder's.
  setenv("XDG_CACHE_HOME", (scratch + "/cache").c_str(), 1);
  std::string scan = MakeScanFolder();
  std::string large = MakePhotoFolder("large", 0, 0);
  std::string small = MakePhotoFolder("small", 640, 480);
  for (const std::string& path : distinct) printf("# %s: %ld bytes\n", path.c_str(), BenchFileSize(path));
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.lpszClassName = L"BENCH";
  RegisterClassW(&wc);
  mainWindow = CreateWindowExW(0, L"BENCH", L"", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);

  // Memory first, before the large scans raise the peak.
  MeasureBrowsing(small);
  MeasureJumps(large);
  benchmark::RegisterBenchmark("scan/100000 files, default", Scan, scan, false)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("scan/100000 files, photos", Scan, scan, true)
      ->Unit(benchmark::kMillisecond);
  CounterReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\n");
  for (const char* name : {"scan/100000 files, default", "scan/100000 files, photos"})
    if (reporter.times.count(name))
      printf("%-28s %8.1f ms per scan, %d entries listed\n", name, reporter.times[name],
             (int)reporter.counters[name]["entries"]);
  FreeEntryList();
  DestroyWindow(mainWindow);
  std::filesystem::remove_all(scratch);
  return 0;
}
