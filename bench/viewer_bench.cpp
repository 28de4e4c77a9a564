// The picture viewer: one viewer paint at each zoom row, and the time from a
// tap on a 12 MP picture's tile to the painted screen against the floor, a
// plain library decode of the same file at the same library scale. Ours and
// the floor take turns in the same iterations.
//
//   viewer_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "bench/pair.h"
#include "bench/photo_files.h"
#include "browser/entry_list.h"
#include "imaging/jpeg_sizing.h"
#include "platform/backend.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "shell/startup.h"
#include "ui/ui_state.h"

namespace {

const int kZoomRows = 10;
const int kTapX = 5 + 70 + 30;  // the second tile: the first is the parent
const int kTapY = 25 + 30;

std::string scratch;
std::string photo;  // 4000 x 3000
HWND window;

DWORD RealTicks() { return (DWORD)(uint64_t)NowMs(); }
void NoSleep(DWORD) {}
void ShortWait(int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
void Nothing() {}
const PlatformBackend kNoHolds = {RealTicks, NoSleep, ShortWait, Nothing, Nothing, nullptr};

void Dispatch() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

LPARAM At(int x, int y) { return (LPARAM)(((uint32_t)y << 16) | (uint32_t)x); }

// Back to the grid (not timed).
void LeaveToGrid() {
  if (uiState.gridMode) return;
  SendMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  Dispatch();
}

// Opens the picture as a tap does and paints it.
bool TapPicture() {
  PostMessageW(window, WM_LBUTTONDOWN, 1, At(kTapX, kTapY));
  PostMessageW(window, WM_LBUTTONUP, 0, At(kTapX, kTapY));
  Dispatch();
  return !uiState.gridMode && uiState.picture != nullptr;
}

// The library scale our decode takes for the picture on this screen.
int FloorScale() {
  JpegRequest req = {false, uiState.decodeMode, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN)};
  int divisor;
  return ChooseLibraryScale(req, 4000, 3000, &divisor);
}

// Leaving the viewer between taps stays out of the timing.
void TapToPaint(benchmark::State& state) {
  const int scale = FloorScale();
  RunPair(
      state, TapPicture,
      [&] {
        PlainJpegImage image;
        bool ok = DecodeJpegPlain(photo.c_str(), scale, &image) != 0;
        benchmark::DoNotOptimize(image.samples.data());
        return ok;
      },
      LeaveToGrid);
  state.counters["scale_1/n"] = scale;
}

void ViewerPaintAtRow(benchmark::State& state, int row) {
  if (uiState.gridMode && !TapPicture()) return state.SkipWithError("no picture");
  if (!uiState.picture) return state.SkipWithError("no picture");
  // The zoom keys walk the table; the key pipeline's repeat filter does not
  // apply to keys the window sends itself (lParam 0).
  while (uiState.zoomIndex > row) SendMessageW(window, WM_KEYDOWN, 0x2B, 0);
  while (uiState.zoomIndex < row) SendMessageW(window, WM_KEYDOWN, 0x2D, 0);
  if (uiState.zoomIndex != row) return state.SkipWithError("zoom row not reached");
  for (auto _ : state) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
  }
  state.counters["picture_w"] = uiState.pictureWidth;
  state.counters["picture_h"] = uiState.pictureHeight;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  scratch = std::filesystem::temp_directory_path().string() + "/viewer-viewer-bench";
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch + "/Photos");
  photo = scratch + "/Photos/large.jpg";
  JpegSampleOptions o;
  o.width = 4000;
  o.height = 3000;
  o.quality = 90;
  o.seed = 7;
  WriteJpegSample(photo.c_str(), o);
  printf("# %s: %ld bytes\n", photo.c_str(), BenchFileSize(photo));
  PlatformSetDeviceRoot(scratch.c_str());
  PlatformSetRegistryFile((scratch + "/registry.reg").c_str());
  PlatformSetBackend(&kNoHolds);
  PlatformSetScreenSize(240, 320);
  wcscpy(startPath, L"\\Photos\\no such entry");
  ShowSplash(nullptr, startPath);
  if (!InitMainWindow(nullptr, SW_SHOW)) return 1;
  window = PlatformActiveWindow();
  PlatformDispatchUntilThreadsEnd();  // the thumbnail is made before timing

  benchmark::RegisterBenchmark("tap to painted 12 MP picture", TapToPaint)
      ->Unit(benchmark::kMillisecond);
  for (int row = 0; row < kZoomRows; row++)
    benchmark::RegisterBenchmark(("viewer paint/zoom row " + std::to_string(row)).c_str(),
                                 ViewerPaintAtRow, row)
        ->Unit(benchmark::kMicrosecond);
  CounterReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\n");
  PrintRatio(reporter, "tap to painted 12 MP picture", "tap to painted 12 MP picture", 1.10);
  std::filesystem::remove_all(scratch);
  return 0;
}
