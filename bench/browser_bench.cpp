// The folder browser: how long a scan takes, and how long until the first
// page of thumbnails (the ninth WM_THUMBNAIL_READY) against nine plain
// library decodes at the same scale (the floor).
//
//   browser_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/pair.h"
#include "bench/photo_files.h"
#include "browser/entry_list.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

const int kFiles = 10000;
const int kSubFolders = 50;
const int kFirstPage = 9;  // tiles of a 240 x 320 page

std::string scratch;
std::vector<std::string> photos;  // host paths of the first-page pictures
int readyCount;

LRESULT CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_THUMBNAIL_READY) {
    readyCount++;
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}


// 10,000 files and 50 sub-folders. With pictures, the files are tiny .jpg
// files (the list fills up at 510); without, .dat files that both passes
// walk to the end.
std::string MakeCrowdedFolder(const char* name, const char* extension) {
  std::string folder = scratch + "/" + name;
  std::filesystem::create_directories(folder);
  for (int i = 0; i < kSubFolders; i++)
    std::filesystem::create_directories(folder + "/sub" + std::to_string(i));
  std::string tiny = scratch + "/tiny.jpg";
  JpegSampleOptions o;
  o.width = 8;
  o.height = 8;
  WriteJpegSample(tiny.c_str(), o);
  for (int i = 0; i < kFiles; i++)
    std::filesystem::copy_file(tiny, folder + "/file" + std::to_string(i) + extension,
                               std::filesystem::copy_options::overwrite_existing);
  return folder;
}

void Scan(benchmark::State& state, const std::string& hostFolder) {
  WCHAR device[kPathMax];
  HostPathToDevice(hostFolder.c_str(), device, kPathMax);
  for (auto _ : state) {
    wcscpy(currentFolder, device);
    if (!ScanFolder(currentFolder)) state.SkipWithError("scan failed");
    state.PauseTiming();
    PlatformDispatchUntilThreadsEnd();
    state.ResumeTiming();
  }
}

// Scan to the ninth WM_THUMBNAIL_READY. The worker has no more pictures and
// ends; it is waited for before the floor runs.
bool FirstPageOurs(const WCHAR* device) {
  MSG msg;
  readyCount = 0;
  wcscpy(currentFolder, device);
  if (!ScanFolder(currentFolder)) return false;
  while (readyCount < kFirstPage && GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  return true;
}

bool FirstPageFloor() {
  for (const std::string& photo : photos) {
    PlainJpegImage image;
    if (!DecodeJpegPlain(photo.c_str(), 8, &image)) return false;
    benchmark::DoNotOptimize(image.samples.data());
  }
  return true;
}

void FirstPage(benchmark::State& state) {
  WCHAR device[kPathMax];
  HostPathToDevice((scratch + "/photos").c_str(), device, kPathMax);
  RunPair(
      state,
      [&] {
        bool ok = FirstPageOurs(device);
        PlatformDispatchUntilThreadsEnd();  // counted with ours: the figure errs on our side
        return ok;
      },
      FirstPageFloor);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  scratch = std::filesystem::temp_directory_path().string() + "/viewer-browser-bench";
  std::filesystem::remove_all(scratch);
  std::string plain = MakeCrowdedFolder("crowded", ".dat");
  std::string pictures = MakeCrowdedFolder("crowded-pictures", ".jpg");
  std::filesystem::create_directories(scratch + "/photos");
  for (int i = 0; i < kFirstPage; i++) {
    std::string path = scratch + "/photos/photo" + std::to_string(i) + ".jpg";
    MakePhotoUnder1MiB(path, 200 + (unsigned)i);
    photos.push_back(path);
    printf("# %s: %ld bytes\n", path.c_str(), BenchFileSize(path));
  }
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.lpszClassName = L"BENCH";
  RegisterClassW(&wc);
  mainWindow = CreateWindowExW(0, L"BENCH", L"", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);

  benchmark::RegisterBenchmark("scan/10000 files + 50 folders", Scan, plain)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("scan/10000 pictures + 50 folders", Scan, pictures)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("first page", FirstPage)->Unit(benchmark::kMillisecond);
  CounterReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  printf("\n");
  for (const char* name : {"scan/10000 files + 50 folders", "scan/10000 pictures + 50 folders"})
    if (reporter.times.count(name)) printf("%-34s %8.2f ms per scan\n", name, reporter.times[name]);
  PrintRatio(reporter, "first page (9 thumbnails)", "first page", 1.15);
  DestroyWindow(mainWindow);
  std::filesystem::remove_all(scratch);
  return 0;
}
