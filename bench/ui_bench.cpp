// The user interface: how long a grid paint of a full page takes, how long
// from a wheel notch to the repainted grid, how long from start to the first
// grid paint (the splash holds excluded), and the worst grid paint while the
// thumbnail worker decodes and both cores are busy with other work.
//
//   ui_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/photo_files.h"
#include "browser/entry_list.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "shell/startup.h"
#include "ui/ui_state.h"

namespace {

const int kPagePictures = 40;   // more than a 480 x 640 page of 36
const int kCrowd = 500;
const int kBigPhotos = 18;
const int kBusyThreads = 2;     // one per core

std::string scratch;

double NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The splash holds cost no time here: sleeps return at once.
DWORD RealTicks() { return (DWORD)(uint64_t)NowMs(); }
void NoSleep(DWORD) {}
void ShortWait(int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
void Nothing() {}
const PlatformBackend kNoHolds = {RealTicks, NoSleep, ShortWait, Nothing, Nothing, nullptr};

void MakePictures(const std::string& folder, int count, int width, int height) {
  std::filesystem::create_directories(folder);
  JpegSampleOptions o;
  o.width = width;
  o.height = height;
  std::string first = folder + "/picture 000.jpg";
  WriteJpegSample(first.c_str(), o);
  char name[64];
  for (int i = 1; i < count; i++) {
    snprintf(name, sizeof name, "/picture %03d.jpg", i);
    std::filesystem::copy_file(first, folder + name, std::filesystem::copy_options::overwrite_existing);
  }
}

// Starts the program's window on a folder as the entry point would, the
// command line naming an entry that does not exist.
HWND Start(const WCHAR* folder) {
  uiState = UiState();
  swprintf(startPath, kPathMax, L"%ls\\no such entry", folder);
  ShowSplash(nullptr, startPath);
  if (!InitMainWindow(nullptr, SW_SHOW)) return nullptr;
  return PlatformActiveWindow();
}

// Ends the worker, closes the window and releases what the window made
// (the program itself leaves that to the process end).
void Stop(HWND hwnd) {
  wcscpy(currentFolder, L"\\empty");
  ScanFolder(currentFolder);
  PlatformWaitForThreads();
  DestroyWindow(hwnd);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  for (HBITMAP& b : uiState.tileBitmaps) DeleteObject(b);
  DeleteObject(uiState.uiFont);
  DeleteDC(uiState.backContext);
  DeleteDC(uiState.sourceContext);
  DeleteObject(uiState.backBitmap);
}

void Repaint(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);
}

void GridPaintPage(benchmark::State& state, int width, int height) {
  PlatformSetScreenSize(width, height);
  HWND hwnd = Start(L"\\page");
  if (!hwnd) return state.SkipWithError("no window");
  PlatformDispatchUntilThreadsEnd();  // every thumbnail of the page in place
  for (auto _ : state) Repaint(hwnd);
  state.counters["entries"] = entryCount;
  Stop(hwnd);
}

// A notch sent as the window gets it, then the paint it asks for: the page
// moves a row down the folder, and back up from its end.
void WheelNotch(benchmark::State& state) {
  PlatformSetScreenSize(240, 320);
  HWND hwnd = Start(L"\\crowd");
  if (!hwnd) return state.SkipWithError("no window");
  PlatformDispatchUntilThreadsEnd();
  int notch = -WHEEL_DELTA;  // a negative distance turns toward the end
  for (auto _ : state) {
    const int before = uiState.firstVisible;
    SendMessageW(hwnd, WM_MOUSEWHEEL, (WPARAM)(uint16_t)(int16_t)notch << 16, 0);
    if (uiState.firstVisible == before) {
      notch = -notch;
      SendMessageW(hwnd, WM_MOUSEWHEEL, (WPARAM)(uint16_t)(int16_t)notch << 16, 0);
    }
    UpdateWindow(hwnd);
  }
  state.counters["entries"] = entryCount;
  Stop(hwnd);
}

void StartUp(benchmark::State& state) {
  PlatformSetScreenSize(240, 320);
  for (auto _ : state) {
    HWND hwnd = Start(L"\\crowd");
    state.PauseTiming();
    if (!hwnd) return state.SkipWithError("no window");
    state.counters["entries"] = entryCount;
    Stop(hwnd);
    state.ResumeTiming();
  }
}

// Paints as fast as it can while the worker decodes large photos and two
// spinning threads keep both cores busy; the figure is the worst paint.
void PaintUnderLoad(benchmark::State& state) {
  PlatformSetScreenSize(240, 320);
  std::vector<double> paints;
  for (auto _ : state) {
    std::atomic<bool> spin{true};
    std::vector<std::thread> busy;
    for (int i = 0; i < kBusyThreads; i++)
      busy.emplace_back([&] {
        volatile unsigned long n = 0;
        while (spin.load(std::memory_order_relaxed)) n = n + 1;
      });
    HWND hwnd = Start(L"\\big");
    MSG msg;
    while (hwnd && PlatformRunningThreads() > 0) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      double t0 = NowMs();
      Repaint(hwnd);
      paints.push_back(NowMs() - t0);
    }
    spin = false;
    for (std::thread& t : busy) t.join();
    if (!hwnd) return state.SkipWithError("no window");
    Stop(hwnd);
  }
  std::sort(paints.begin(), paints.end());
  if (paints.empty()) return;
  state.counters["paints"] = (double)paints.size();
  state.counters["median_ms"] = paints[paints.size() / 2];
  state.counters["p99_ms"] = paints[paints.size() * 99 / 100];
  state.counters["worst_ms"] = paints.back();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  scratch = std::filesystem::temp_directory_path().string() + "/viewer-ui-bench";
  std::filesystem::remove_all(scratch);
  MakePictures(scratch + "/page", kPagePictures, 320, 240);
  for (const char* f : {"/page/Beach", "/page/Mountains", "/page/Tom & Jerry", "/empty"})
    std::filesystem::create_directories(scratch + f);
  MakePictures(scratch + "/crowd", kCrowd, 64, 48);
  std::filesystem::create_directories(scratch + "/big");
  for (int i = 0; i < kBigPhotos; i++)
    MakePhotoUnder1MiB(scratch + "/big/photo " + std::to_string(i) + ".jpg", 300 + (unsigned)i);
  PlatformSetDeviceRoot(scratch.c_str());
  PlatformSetRegistryFile((scratch + "/registry.reg").c_str());
  PlatformSetBackend(&kNoHolds);

  benchmark::RegisterBenchmark("grid paint/240x320", GridPaintPage, 240, 320)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("grid paint/480x640", GridPaintPage, 480, 640)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("wheel notch to repainted grid/240x320", WheelNotch)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("start to first grid paint/500 pictures", StartUp)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(30);
  benchmark::RegisterBenchmark("grid paint while decoding, cores busy", PaintUnderLoad)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(scratch);
  return 0;
}
