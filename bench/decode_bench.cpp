// Decode speed against the floor: the same files decoded in this process by
// plain library calls at the same scale with the fast IDCT, the two taking
// turns. Prints each pair and ours/floor, then the peak memory of a 12 MP
// viewer decode per fit mode.
//
//   decode_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/picture.h"
#include "bench/pair.h"
#include "bench/photo_files.h"
#include "jpeg/samples.h"
#include "platform/files.h"
#include "platform/gdi.h"

namespace {

const int kThumbnailFiles = 4;

std::string scratch;                    // host folder of the pictures
std::vector<std::string> thumbFiles;    // 2048 x 1536, just under 1 MiB each
std::string largeFile;                  // 4000 x 3000

std::string MakeThumbnailFile(int index) {
  std::string path = scratch + "/thumb" + std::to_string(index) + ".jpg";
  MakePhotoUnder1MiB(path, 100 + (unsigned)index);
  return path;
}

std::wstring DevicePath(const std::string& host) {
  WCHAR device[512];
  if (!HostPathToDevice(host.c_str(), device, 512)) return L"";
  return device;
}

void Setup() {
  scratch = std::filesystem::temp_directory_path().string() + "/viewer-bench";
  std::filesystem::create_directories(scratch);
  for (int i = 0; i < kThumbnailFiles; i++) thumbFiles.push_back(MakeThumbnailFile(i));
  largeFile = scratch + "/large.jpg";
  JpegSampleOptions o;
  o.width = 4000;
  o.height = 3000;
  o.quality = 90;
  o.seed = 7;
  WriteJpegSample(largeFile.c_str(), o);
  for (const std::string& f : thumbFiles) printf("# %s: %ld bytes\n", f.c_str(), BenchFileSize(f));
  printf("# %s: %ld bytes\n", largeFile.c_str(), BenchFileSize(largeFile));
}

bool PlainDecode(const std::string& path, int scale) {
  PlainJpegImage image;
  bool ok = DecodeJpegPlain(path.c_str(), scale, &image) != 0;
  benchmark::DoNotOptimize(image.samples.data());
  return ok;
}

bool OurDecode(const std::wstring& path, int thumbnail, int fitMode) {
  PictureBitmap b = LoadPicture(nullptr, path.c_str(), thumbnail, fitMode);
  DeleteObject(b);
  return b != nullptr;
}

void Thumbnail(benchmark::State& state) {
  std::vector<std::wstring> paths;
  for (const std::string& f : thumbFiles) paths.push_back(DevicePath(f));
  size_t i = 0, j = 0;
  RunPair(
      state, [&] { return OurDecode(paths[i++ % paths.size()], 1, FIT_SCREEN_WHOLE); },
      [&] { return PlainDecode(thumbFiles[j++ % thumbFiles.size()], 8); });
}

// range(0) is the fit mode; the floor decodes at the library scale that mode
// takes for 4000 x 3000 on 240 x 320.
void Viewer(benchmark::State& state) {
  static const int kScaleOfMode[3] = {2, 4, 4};
  const int mode = (int)state.range(0);
  std::wstring path = DevicePath(largeFile);
  RunPair(
      state, [&] { return OurDecode(path, 0, mode); },
      [&] { return PlainDecode(largeFile, kScaleOfMode[mode]); });
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  FILE* f = fopen("/proc/self/statm", "r");
  if (f) {
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One viewer decode per fit mode in a child process, so each peak is its own.
void PrintPeakMemory() {
  std::wstring path = DevicePath(largeFile);
  static const char* kModeNames[3] = {"FIT_LARGE", "FIT_SCREEN_WHOLE", "FIT_SCREEN_FINE"};
  for (int mode = 0; mode < 3; mode++) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    pid_t child = fork();
    if (child == 0) {
      long before = ResidentKiB();
      PictureBitmap b = LoadPicture(nullptr, path.c_str(), 0, mode);
      long sent[2] = {before, b ? 1L : 0L};
      if (write(pipeFds[1], sent, sizeof(sent)) != (ssize_t)sizeof(sent)) _exit(1);
      _exit(0);
    }
    close(pipeFds[1]);
    long got[2] = {0, 0};
    if (read(pipeFds[0], got, sizeof(got)) != (ssize_t)sizeof(got)) got[1] = 0;
    close(pipeFds[0]);
    int status;
    struct rusage usage;
    wait4(child, &status, 0, &usage);
    printf("peak memory, 12 MP viewer decode, %-16s peak RSS %6.1f MiB, above start %6.1f MiB%s\n",
           kModeNames[mode], usage.ru_maxrss / 1024.0, (usage.ru_maxrss - got[0]) / 1024.0,
           got[1] ? "" : " (decode failed)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PlatformSetScreenSize(240, 320);
  Setup();
  benchmark::RegisterBenchmark("thumbnail", Thumbnail)->Unit(benchmark::kMillisecond);
  for (int mode = 0; mode < 3; mode++)
    benchmark::RegisterBenchmark("viewer", Viewer)->Arg(mode)->Unit(benchmark::kMillisecond);
  CounterReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\n");
  PrintRatio(reporter, "thumbnail 2048x1536 <1MiB", "thumbnail", 1.10);
  PrintRatio(reporter, "viewer 4000x3000 FIT_LARGE", "viewer/0", 1.15);
  PrintRatio(reporter, "viewer 4000x3000 SCREEN_WHOLE", "viewer/1", 1.15);
  PrintRatio(reporter, "viewer 4000x3000 SCREEN_FINE", "viewer/2", 1.15);
  PrintPeakMemory();
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return 0;
}
