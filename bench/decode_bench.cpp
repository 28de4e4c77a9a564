// Decode speed against the floor: the same files decoded in this process by
// plain library calls at the same scale with the fast IDCT, the two taking
// turns. Prints each pair and ours/floor, then the peak memory of a 12 MP
// viewer decode per fit mode. With --photos thumbnails come from files of
// any size: 12 MP photos with and without an EXIF preview, against the
// library's plain decode of the photo at 1/8.
//
// The process pairs weigh whole processes: korvane-decode against this
// program run as a plain library decoder (--plain), each decoding the
// picture and, beside it in the same iteration, a 16 x 16 one (the start);
// ours/floor is the ratio of the two differences, in CPU time (user and
// system) of the processes, wall time beside it.
//
//   decode_bench [--benchmark_min_time=...] [--benchmark_filter=process]
//   decode_bench --plain FILE SCALE
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
// Iterations of each whole-process pair (four processes each).
const int kProcessPairs = 30;

std::string scratch;                    // host folder of the pictures
std::vector<std::string> thumbFiles;    // 2048 x 1536, just under 1 MiB each
std::string largeFile;                  // 4000 x 3000
std::string previewFile;                // 4000 x 3000 with a 160 x 120 EXIF preview
std::string tinyFile;                   // 16 x 16, the start of a process pair

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
  tinyFile = scratch + "/tiny.jpg";
  JpegSampleOptions t;
  t.width = 16;
  t.height = 16;
  WriteJpegSample(tinyFile.c_str(), t);
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

// A program beside this one (korvane-decode, or this program itself).
std::string Beside(const char* name) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (n <= 0) return "";
  self[n] = 0;
  return name ? std::filesystem::path(self).parent_path().string() + "/" + name : self;
}

// One process from fork to exit, its standard output dropped. False when it
// did not run or did not exit 0.
struct ProcessCost {
  double wallMs;
  double cpuMs;     // user and system
  long peakKiB;
};
bool RunProcess(const std::vector<std::string>& args, ProcessCost* cost) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const double t0 = NowMs();
  pid_t child = fork();
  if (child == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    execv(argv[0], (char* const*)argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return false;
  cost->wallMs = NowMs() - t0;
  cost->cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  cost->peakKiB = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> OursArgs(const std::string& input, bool thumbnail, int mode) {
  std::vector<std::string> args = {Beside("korvane-decode"), "--seed", "1", "--fit",
                                   std::to_string(mode)};
  if (thumbnail) args.push_back("--thumbnail");
  args.push_back(input);
  args.push_back("/dev/null");
  return args;
}

std::vector<std::string> FloorArgs(const std::string& input, int scale) {
  return {Beside(nullptr), "--plain", input, std::to_string(scale)};
}

// One whole-process pair per iteration: ours and the floor, each as the
// picture's process less the start's, the two sides' order alternating.
void ProcessPair(benchmark::State& state, const std::string& input, bool thumbnail, int mode,
                 int scale) {
  double ours[2] = {0, 0}, floor[2] = {0, 0};  // CPU, wall
  long n = 0;
  auto side = [&](const std::vector<std::string>& start, const std::vector<std::string>& run,
                  double* sum) {
    ProcessCost a, b;
    if (!RunProcess(start, &a) || !RunProcess(run, &b)) return false;
    sum[0] += b.cpuMs - a.cpuMs;
    sum[1] += b.wallMs - a.wallMs;
    return true;
  };
  const auto oursStart = OursArgs(tinyFile, thumbnail, mode), oursRun = OursArgs(input, thumbnail, mode);
  const auto floorStart = FloorArgs(tinyFile, scale), floorRun = FloorArgs(input, scale);
  for (auto _ : state) {
    const bool oursFirst = (n++ % 2) == 0;
    bool ok = oursFirst ? side(oursStart, oursRun, ours) && side(floorStart, floorRun, floor)
                        : side(floorStart, floorRun, floor) && side(oursStart, oursRun, ours);
    if (!ok) return state.SkipWithError("a process failed");
  }
  state.counters["ours_ms"] = ours[0] / (double)n;
  state.counters["floor_ms"] = floor[0] / (double)n;
  state.counters["ratio"] = ours[0] / floor[0];
  state.counters["wall_ours_ms"] = ours[1] / (double)n;
  state.counters["wall_floor_ms"] = floor[1] / (double)n;
  state.counters["wall_ratio"] = ours[1] / floor[1];
}

void ThumbnailProcess(benchmark::State& state) {
  ProcessPair(state, thumbFiles[0], true, FIT_SCREEN_WHOLE, 8);
}

void ViewerProcess(benchmark::State& state) {
  static const int kScaleOfMode[3] = {2, 4, 4};
  const int mode = (int)state.range(0);
  ProcessPair(state, largeFile, false, mode, kScaleOfMode[mode]);
}

void PrintProcessRatio(CounterReporter& rep, const char* label, const std::string& name,
                       double target) {
  PrintRatio(rep, label, name, target);
  if (!rep.counters.count(name)) return;
  auto& c = rep.counters[name];
  printf("%-30s wall: ours %6.2f ms  floor %6.2f ms  ours/floor %.3f\n", "", c["wall_ours_ms"],
         c["wall_floor_ms"], c["wall_ratio"]);
}

// One viewer decode per fit mode, each in a process of its own, against the
// same process decoding a 16 x 16 picture.
void PrintPeakMemory() {
  static const char* kModeNames[3] = {"FIT_LARGE", "FIT_SCREEN_WHOLE", "FIT_SCREEN_FINE"};
  ProcessCost base, peak;
  const bool baseRan = RunProcess(OursArgs(tinyFile, false, 2), &base);
  for (int mode = 0; mode < 3; mode++) {
    if (!baseRan || !RunProcess(OursArgs(largeFile, false, mode), &peak)) {
      printf("peak memory, 12 MP viewer decode, %s: the decode did not run\n", kModeNames[mode]);
      continue;
    }
    printf("peak memory, 12 MP viewer decode, %-16s peak RSS %6.1f MiB, above a 16x16 decode %6.1f MiB\n",
           kModeNames[mode], peak.peakKiB / 1024.0, (peak.peakKiB - base.peakKiB) / 1024.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The floor's process: the library's plain decode and nothing else.
  if (argc == 4 && strcmp(argv[1], "--plain") == 0)
    return DecodeJpegPlainOnly(argv[2], atoi(argv[3])) ? 0 : 1;
  benchmark::Initialize(&argc, argv);
  PlatformSetScreenSize(240, 320);
  Setup();
  benchmark::RegisterBenchmark("thumbnail", Thumbnail)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("photo_thumbnail", PhotoThumbnail)->Arg(0)->Arg(1)
      ->Unit(benchmark::kMillisecond);
  for (int mode = 0; mode < 3; mode++)
    benchmark::RegisterBenchmark("viewer", Viewer)->Arg(mode)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("process/thumbnail", ThumbnailProcess)
      ->Iterations(kProcessPairs)->Unit(benchmark::kMillisecond);
  for (int mode = 0; mode < 3; mode++)
    benchmark::RegisterBenchmark("process/viewer", ViewerProcess)->Arg(mode)
        ->Iterations(kProcessPairs)->Unit(benchmark::kMillisecond);
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
  const std::string pairs = "/iterations:" + std::to_string(kProcessPairs);
  PrintProcessRatio(reporter, "process: thumbnail", "process/thumbnail" + pairs, 1.05);
  PrintProcessRatio(reporter, "process: viewer FIT_LARGE", "process/viewer/0" + pairs, 1.10);
  PrintProcessRatio(reporter, "process: viewer SCREEN_WHOLE", "process/viewer/1" + pairs, 1.10);
  PrintProcessRatio(reporter, "process: viewer SCREEN_FINE", "process/viewer/2" + pairs, 1.10);
  PrintPeakMemory();
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return 0;
}
