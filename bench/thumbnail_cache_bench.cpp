// A folder of photos seen again with --photos: the CPU time (user + system)
// of `korvane-list --photos --thumbnails --bitmaps` over 500 photos of
// 12 MP, the first run with an empty thumbnail cache against the second,
// and whether the second run's thumbnails are bit for bit the first's; then
// a third run from the cache without writing the bitmaps, the cache's own
// cost.
//
//   thumbnail_cache_bench [--tools DIR] [--photos N]
//
// DIR holds korvane-list (default: the folder of this program). The photos
// are 20 distinct 4000 x 3000 pictures, each linked under 25 names: every
// name is a picture of its own to the cache, and the disk is read once.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "samples/jpeg_samples.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const int kDistinctPhotos = 20;
const int kDefaultPhotos = 500;
const int kPhotoWidth = 4000;
const int kPhotoHeight = 3000;

struct ChildRun {
  int exitCode = -1;
  double cpuSeconds = 0;  // user + system
  double userSeconds = 0;
  double systemSeconds = 0;
  double wallSeconds = 0;
};

double Seconds(const timeval& t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

double NowSeconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// Runs args[0] with its standard output into outPath; the child's own
// resource use from wait4.
ChildRun Run(const std::vector<std::string>& args, const std::string& outPath) {
  ChildRun run;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  const double start = NowSeconds();
  pid_t pid;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return run;
  int status = 0;
  struct rusage usage = {};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.wallSeconds = NowSeconds() - start;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.userSeconds = Seconds(usage.ru_utime);
  run.systemSeconds = Seconds(usage.ru_stime);
  run.cpuSeconds = run.userSeconds + run.systemSeconds;
  return run;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Announcements with a thumbnail ("ready\tI\tWxH", not 0x0).
int Thumbnails(const std::string& listing) {
  int count = 0;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, 6, "ready\t") == 0 && line.find("\t0x0") == std::string::npos) count++;
  return count;
}

// How many bitmaps the two folders share byte for byte, and how many the
// first holds.
int SameBitmaps(const std::string& first, const std::string& second, int* total) {
  int same = 0;
  *total = 0;
  for (const auto& item : fs::directory_iterator(first)) {
    (*total)++;
    const std::string other = second + "/" + item.path().filename().string();
    if (fs::exists(other) && ReadAll(item.path().string()) == ReadAll(other)) same++;
  }
  return same;
}

uint64_t FolderBytes(const std::string& folder) {
  uint64_t bytes = 0;
  std::error_code ec;
  for (const auto& item : fs::recursive_directory_iterator(folder, ec))
    if (item.is_regular_file(ec)) bytes += item.file_size(ec);
  return bytes;
}

void PrintRun(const char* label, const ChildRun& run) {
  printf("%-34s %7.3f s CPU (user %.3f + system %.3f), %7.3f s wall\n", label, run.cpuSeconds,
         run.userSeconds, run.systemSeconds, run.wallSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::string tools = fs::path(argv[0]).parent_path().string();
  int photos = kDefaultPhotos;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--tools") == 0 && i + 1 < argc) {
      tools = argv[++i];
    } else if (strcmp(argv[i], "--photos") == 0 && i + 1 < argc) {
      photos = atoi(argv[++i]);
    } else {
      fprintf(stderr, "usage: thumbnail_cache_bench [--tools DIR] [--photos N]\n");
      return 2;
    }
  }
  if (tools.empty()) tools = ".";
  const std::string lister = tools + "/korvane-list";
  const std::string scratch = fs::temp_directory_path().string() + "/viewer-thumbnail-cache-bench";
  fs::remove_all(scratch);
  fs::create_directories(scratch + "/root/photos");
  // Never the user's cache: the scratch folder's, empty for the first run.
  setenv("XDG_CACHE_HOME", (scratch + "/cache").c_str(), 1);
  std::vector<std::string> distinct;
  for (int i = 0; i < kDistinctPhotos; i++) {
    JpegSampleOptions o;
    o.width = kPhotoWidth;
    o.height = kPhotoHeight;
    o.seed = 700 + (unsigned)i;
    distinct.push_back(scratch + "/photo" + std::to_string(i) + ".jpg");
    if (!WriteJpegSample(distinct.back().c_str(), o)) {
      fprintf(stderr, "cannot write %s\n", distinct.back().c_str());
      return 1;
    }
  }
  for (int i = 0; i < photos; i++) {
    char name[64];
    snprintf(name, sizeof(name), "/root/photos/img%04d.jpg", i);
    fs::create_hard_link(distinct[(size_t)i % distinct.size()], scratch + name);
  }
  uint64_t distinctBytes = 0;
  for (const std::string& path : distinct) distinctBytes += fs::file_size(path);
  printf("# %d photos of %d x %d (%d distinct, %.1f MB each on average)\n", photos, kPhotoWidth,
         kPhotoHeight, kDistinctPhotos, (double)distinctBytes / 1e6 / kDistinctPhotos);

  ChildRun runs[2];
  std::string listings[2];
  for (int r = 0; r < 2; r++) {
    const std::string out = scratch + "/bitmaps" + std::to_string(r);
    fs::create_directories(out);
    const std::string listing = scratch + "/listing" + std::to_string(r) + ".txt";
    runs[r] = Run({lister, "--root", scratch + "/root", "--photos", "--thumbnails", "--bitmaps",
                   out, "\\photos"},
                  listing);
    listings[r] = ReadAll(listing);
    if (runs[r].exitCode != 0) {
      fprintf(stderr, "korvane-list failed (exit %d)\n", runs[r].exitCode);
      return 1;
    }
  }
  const ChildRun plain =
      Run({lister, "--root", scratch + "/root", "--photos", "--thumbnails", "\\photos"},
          scratch + "/listing2.txt");
  int total = 0;
  const int same = SameBitmaps(scratch + "/bitmaps0", scratch + "/bitmaps1", &total);
  PrintRun("first run (empty cache)", runs[0]);
  PrintRun("second run (from the cache)", runs[1]);
  printf("second run's CPU: %.1f %% of the first's (goal: at most 5 %%)\n",
         100.0 * runs[1].cpuSeconds / runs[0].cpuSeconds);
  PrintRun("third run, no bitmaps written", plain);
  printf("thumbnails: %d and %d made; %d of %d bitmaps bit for bit the same; listings %s\n",
         Thumbnails(listings[0]), Thumbnails(listings[1]), same, total,
         listings[0] == listings[1] ? "identical" : "DIFFER");
  printf("cache folder: %.2f MB\n", (double)FolderBytes(scratch + "/cache") / 1e6);
  const bool ok =
      same == total && total == photos && listings[0] == listings[1] && plain.exitCode == 0;
  fs::remove_all(scratch);
  return ok ? 0 : 1;
}
