// Decode speed against the floor: the same files decoded in this process by
// plain library calls at the same scale with the fast IDCT, the two taking
// turns. Prints each pair and ours/floor, then the peak memory of a 12 MP
// viewer decode per fit mode. With --photos thumbnails come from files of
// any size: 12 MP photos with and without an EXIF preview, against the
// library's plain decode of the photo at 1/8.
//
//   decode_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/photos.h"
#include "imaging/picture.h"
#include "bench/pair.h"
#include "bench/photo_files.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "samples/jpeg_samples.h"

namespace {

const int kThumbnailFiles = 4;

std::string scratch;                    // host folder of the pictures
std::vector<std::string> thumbFiles;    // 2048 x 1536, just under 1 MiB each
std::string largeFile;                  // 4000 x 3000
std::string previewFile;                // 4000 x 3000 with a 160 x 120 EXIF preview

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
  previewFile = scratch + "/preview.jpg";
  o.orientation = 1;
  JpegPreviewBytes(o, 160, 120, &o.exifPreview);
  WriteJpegSample(previewFile.c_str(), o);
  for (const std::string& f : thumbFiles) printf("# %s: %ld bytes\n", f.c_str(), BenchFileSize(f));
  printf("# %s: %ld bytes\n", largeFile.c_str(), BenchFileSize(largeFile));
  printf("# %s: %ld bytes\n", previewFile.c_str(), BenchFileSize(previewFile));
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

// --photos: a thumbnail of a 12 MP photo over 1 MiB; range(0) 1 when it has
// an EXIF preview. The floor is the library's plain 1/8 decode of the photo.
void PhotoThumbnail(benchmark::State& state) {
  const std::string& file = state.range(0) ? previewFile : largeFile;
  std::wstring path = DevicePath(file);
  SetPhotosMode(true);
  RunPair(
      state, [&] { return OurDecode(path, 1, FIT_SCREEN_WHOLE); },
      [&] { return PlainDecode(file, 8); });
  SetPhotosMode(false);
  state.counters["thumbnails_per_s"] = 1000.0 / state.counters["ours_ms"];
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

// Peak resident memory (KiB) of a fresh korvane-decode process, which sits
// beside this program; -1 when it did not run or made no picture.
long PeakOfDecodeKiB(const std::string& input, int mode) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return -1;
  self[n] = 0;
  std::string tool = std::filesystem::path(self).parent_path().string() + "/korvane-decode";
  std::string fit = std::to_string(mode);
  const char* argv[] = {tool.c_str(), "--fit", fit.c_str(), input.c_str(), "/dev/null", nullptr};
  pid_t child = fork();
  if (child == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    execv(tool.c_str(), (char* const*)argv);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

// One viewer decode per fit mode, each in a process of its own, against the
// same process decoding a 16 x 16 picture.
void PrintPeakMemory() {
  static const char* kModeNames[3] = {"FIT_LARGE", "FIT_SCREEN_WHOLE", "FIT_SCREEN_FINE"};
  std::string tiny = scratch + "/tiny.jpg";
  JpegSampleOptions o;
  o.width = 16;
  o.height = 16;
  WriteJpegSample(tiny.c_str(), o);
  long base = PeakOfDecodeKiB(tiny, 2);
  for (int mode = 0; mode < 3; mode++) {
    long peak = PeakOfDecodeKiB(largeFile, mode);
    if (peak < 0 || base < 0) {
      printf("peak memory, 12 MP viewer decode, %s: the decode did not run\n", kModeNames[mode]);
      continue;
    }
    printf("peak memory, 12 MP viewer decode, %-16s peak RSS %6.1f MiB, above a 16x16 decode %6.1f MiB\n",
           kModeNames[mode], peak / 1024.0, (peak - base) / 1024.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PlatformSetScreenSize(240, 320);
  Setup();
  benchmark::RegisterBenchmark("thumbnail", Thumbnail)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("photo_thumbnail", PhotoThumbnail)->Arg(0)->Arg(1)
      ->Unit(benchmark::kMillisecond);
  for (int mode = 0; mode < 3; mode++)
    benchmark::RegisterBenchmark("viewer", Viewer)->Arg(mode)->Unit(benchmark::kMillisecond);
  CounterReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\n");
  PrintRatio(reporter, "thumbnail 2048x1536 <1MiB", "thumbnail", 1.10);
  for (const char* name : {"photo_thumbnail/0", "photo_thumbnail/1"}) {
    if (!reporter.counters.count(name)) continue;
    auto& c = reporter.counters[name];
    printf("--photos thumbnail 12 MP, %-13s %6.1f per s (%.2f ms); plain 1/8 decode %6.1f per s (%.2f ms)\n",
           name[16] == '1' ? "EXIF preview:" : "no preview:", 1000.0 / c["ours_ms"], c["ours_ms"],
           1000.0 / c["floor_ms"], c["floor_ms"]);
  }
  PrintRatio(reporter, "viewer 4000x3000 FIT_LARGE", "viewer/0", 1.15);
  PrintRatio(reporter, "viewer 4000x3000 SCREEN_WHOLE", "viewer/1", 1.15);
  PrintRatio(reporter, "viewer 4000x3000 SCREEN_FINE", "viewer/2", 1.15);
  PrintPeakMemory();
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return 0;
}
