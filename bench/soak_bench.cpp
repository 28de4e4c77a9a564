// Soak: the program's own window, headless and in this process, runs slide
// shows through a folder of some 300 pictures and switches folders thousands
// of times. A state reporter samples resident memory, open descriptors, live
// platform objects and threads at every `state` line of the script.
//
// Prints resident memory after the first pass and at the end, objects and
// descriptors at the baseline and at the end, workers alive once idle, the
// folder switches and slide-show advances done, and the wall time. Exits 1
// when a bound is broken (memory grew 1 MB or more after the first pass,
// objects or descriptors not back at the baseline, more than one worker alive
// once idle, or the script did not do what it asked); the figures print
// either way.
//
//   soak_bench [--long]
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/backend_headless.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "samples/jpeg_samples.h"
#include "shell/startup.h"
#include "ui/ui_state.h"

namespace {

const int kJpegCount = 300;
const int kLargeEvery = 6;       // every sixth picture is 640 x 480, the rest 160 x 120
const int kSubFolders = 4;
const int kSubPictures = 3;
const int kSwitchesPerPass = 1000;  // taps that change the folder
const int kIdleEvery = 50;          // round trips between `idle` commands
const int kShortPasses = 4;
const int kLongPasses = 30;
const long kMaxGrowthKb = 1024;
const int kMaxIdleWorkers = 1;
const int kAllKinds = 0xFF;
const int kAdvanceMs = 4000;  // 16 ticks of 250 ms
const int kSampleLine = 160;

// The start folder's tiles on 240 x 320 (three columns): the parent, the
// sub-folders at 1 to 4, the first picture at 5.
const int kFirstPictureTile = 1 + kSubFolders;
const int kTileCentreX[] = {37, 107, 177};
const int kTileCentreY[] = {57, 152, 247};

// Copied in beside the JPEG files when the shared corpus is there.
const char* const kCorpusCopies[] = {"png/pngsuite/basn2c08.png", "png/pngsuite/basn6a08.png",
                                     "png/pngsuite/basi0g08.png", "gif/giflib-pic/porsche.gif",
                                     "gif/giflib-pic/treescap.gif", "gif/giflib-pic/welcome2.gif"};

enum Tag { TAG_BASE, TAG_VIEW, TAG_ADVANCE, TAG_IN, TAG_OUT, TAG_IDLE, TAG_PASS_END };

struct Sample {
  long rssKb;
  long heapKb;   // allocated from malloc and not freed
  int fds;
  int handles;
  int drawing;   // drawing objects and contexts
  int workers;   // platform threads not yet returned
  int threads;   // the process's threads
  char line[kSampleLine];
};

std::vector<Tag> tags;
std::vector<Sample> samples;
size_t taken;

long StatusField(const char* text, const char* name) {
  const char* at = strstr(text, name);
  return at ? strtol(at + strlen(name), nullptr, 10) : -1;
}

int OpenDescriptors() {
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  int n = 0;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') n++;
  closedir(d);
  return n - 1;  // the listing's own
}

// The state reporter: the user interface's line, plus one sample.
void Record(char* line, size_t size) {
  ReportUiState(line, size);
  if (taken >= samples.size()) return;
  Sample& s = samples[taken++];
  char status[4096] = "";
  int fd = open("/proc/self/status", O_RDONLY);
  if (fd >= 0) {
    ssize_t n = read(fd, status, sizeof status - 1);
    status[n > 0 ? n : 0] = 0;
    close(fd);
  }
  s.rssKb = StatusField(status, "VmRSS:");
  struct mallinfo2 m = mallinfo2();
  s.heapKb = (long)((m.uordblks + m.hblkhd) / 1024);
  s.threads = (int)StatusField(status, "Threads:");
  s.fds = OpenDescriptors();
  s.handles = HandleLiveCount(kAllKinds);
  s.drawing = PlatformLiveObjectCount();
  s.workers = PlatformRunningThreads();
  snprintf(s.line, sizeof s.line, "%s", line);
}

bool MakeFolder(const std::string& root, int pictures, int largeEvery, unsigned seed) {
  std::filesystem::create_directories(root);
  char name[64];
  for (int i = 0; i < pictures; i++) {
    JpegSampleOptions o;
    bool large = largeEvery > 0 && i % largeEvery == 0;
    o.width = large ? 640 : 160;
    o.height = large ? 480 : 120;
    o.quality = 85;
    o.seed = seed + (unsigned)i;
    snprintf(name, sizeof name, "/picture %03d.jpg", i);
    if (!WriteJpegSample((root + name).c_str(), o)) return false;
  }
  return true;
}

// The picture count of the start folder.
int MakeTree(const std::string& album) {
  if (!MakeFolder(album, kJpegCount, kLargeEvery, 1)) return 0;
  for (int i = 1; i <= kSubFolders; i++)
    if (!MakeFolder(album + "/Sub " + std::to_string(i), kSubPictures, 0, 1000u * (unsigned)i))
      return 0;
  int count = kJpegCount;
  const std::string corpus = std::string(VIEWER_CORPUS_DIR) + "/";
  for (const char* copy : kCorpusCopies) {
    std::error_code ec;
    std::string from = corpus + copy;
    std::string to = album + "/corpus " + std::filesystem::path(from).filename().string();
    if (std::filesystem::copy_file(from, to, ec)) count++;
  }
  return count;
}

void Tap(std::string* script, int tile) {
  *script += "tap " + std::to_string(kTileCentreX[tile % 3]) + " " +
             std::to_string(kTileCentreY[tile / 3]) + "\n";
}

void State(std::string* script, Tag tag) {
  *script += "state\n";
  tags.push_back(tag);
}

// Each pass: a slide show once round the folder (back to its first picture),
// then the folder switches, into a sub-folder and back by the parent tile.
std::string MakeScript(int passes, int pictures) {
  std::string s = "idle\n";
  State(&s, TAG_BASE);
  for (int p = 0; p < passes; p++) {
    Tap(&s, kFirstPictureTile);
    State(&s, TAG_VIEW);
    s += "key 20\n";
    for (int a = 0; a < pictures; a++) {
      s += "wait " + std::to_string(kAdvanceMs) + "\n";
      State(&s, TAG_ADVANCE);
    }
    s += "key 20\nkey 1b\n";
    for (int trip = 0; trip < kSwitchesPerPass / 2; trip++) {
      Tap(&s, 1 + trip % kSubFolders);
      State(&s, TAG_IN);
      Tap(&s, 0);
      State(&s, TAG_OUT);
      if ((trip + 1) % kIdleEvery == 0) {
        s += "idle\n";
        State(&s, TAG_IDLE);
      }
    }
    s += "idle\n";
    State(&s, TAG_PASS_END);
  }
  return s;
}

// The folder at the end of a state line; the fields before it are numbers.
const char* FolderOf(const char* line) {
  const char* at = line;
  for (int field = 0; field < 10 && at; field++) {
    at = strchr(at, ' ');
    if (at) at++;
  }
  return at ? at : "";
}

int Field(const char* line, int index) {
  const char* at = line;
  for (int i = 0; i < index && at; i++) {
    at = strchr(at, ' ');
    if (at) at++;
  }
  return at ? atoi(at) : -1;
}

double Mb(long kb) { return kb / 1024.0; }

}  // namespace

int main(int argc, char** argv) {
  bool longRun = argc > 1 && strcmp(argv[1], "--long") == 0;
  if (argc > 2 || (argc == 2 && !longRun)) {
    fprintf(stderr, "usage: soak_bench [--long]\n");
    return 2;
  }
  const int passes = longRun ? kLongPasses : kShortPasses;
  char scratchName[] = "/tmp/soak_bench.XXXXXX";
  if (!mkdtemp(scratchName)) return 2;
  const std::string scratch = scratchName;
  auto setupStart = std::chrono::steady_clock::now();
  const int pictures = MakeTree(scratch + "/root/Album");
  if (!pictures) {
    fprintf(stderr, "soak_bench: cannot write the pictures\n");
    return 2;
  }
  const std::string script = MakeScript(passes, pictures);
  // Every sample's page touched now, so the record never adds to the figures.
  samples.resize(tags.size());
  memset(samples.data(), 0, samples.size() * sizeof(Sample));
  double setupSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - setupStart).count();

  FILE* discard = fopen("/dev/null", "w");
  int badLine = 0;
  if (!discard || !PlatformSetDeviceRoot((scratch + "/root").c_str()) ||
      !HeadlessLoadScriptText(script.c_str(), stderr, &badLine))
    return 2;
  PlatformSetRegistryFile((scratch + "/registry.reg").c_str());
  PlatformSetStateReporter(Record);
  PlatformSetScreenSize(240, 320);
  PlatformSetBackend(HeadlessBackend(discard));

  auto start = std::chrono::steady_clock::now();
  ViewerMain(nullptr, L"\\Album", SW_SHOW);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // What the script did, from the state lines.
  int switches = 0, advances = 0, idleWorkers = 0, idleThreads = 0;
  std::string byPass;
  long peakKb = 0;
  const Sample* base = nullptr;
  const Sample* firstPass = nullptr;
  const Sample* last = nullptr;
  for (size_t i = 0; i < taken; i++) {
    const Sample& s = samples[i];
    if (s.rssKb > peakKb) peakKb = s.rssKb;
    const char* before = i > 0 ? samples[i - 1].line : "";
    if ((tags[i] == TAG_IN || tags[i] == TAG_OUT) && strcmp(FolderOf(s.line), FolderOf(before)))
      switches++;
    if (tags[i] == TAG_ADVANCE && Field(s.line, 7) == 1 && Field(s.line, 3) != Field(before, 3))
      advances++;
    if (tags[i] == TAG_BASE || tags[i] == TAG_IDLE || tags[i] == TAG_PASS_END) {
      if (s.workers > idleWorkers) idleWorkers = s.workers;
      if (s.threads > idleThreads) idleThreads = s.threads;
    }
    if (tags[i] == TAG_BASE) base = &s;
    if (tags[i] == TAG_PASS_END) {
      char figure[32];
      snprintf(figure, sizeof figure, " %.1f", Mb(s.rssKb));
      byPass += figure;
      if (!firstPass) firstPass = &s;
      last = &s;
    }
  }
  std::filesystem::remove_all(scratch);
  const int wantedSwitches = passes * (kSwitchesPerPass / 2) * 2;
  const int wantedAdvances = passes * pictures;
  if (taken != samples.size() || !base || !firstPass || !last) {
    fprintf(stderr, "soak_bench: %zu of %zu samples taken\n", taken, samples.size());
    return 1;
  }

  const long growthKb = last->rssKb - firstPass->rssKb;
  printf("soak: %d passes over \\Album (%d pictures, %d sub-folders), 240 x 320\n", passes,
         pictures, kSubFolders);
  printf("  folder switches        %d of %d\n", switches, wantedSwitches);
  printf("  slide-show advances    %d of %d\n", advances, wantedAdvances);
  printf("  resident memory        baseline %.2f MB, after the first pass %.2f MB, end %.2f MB, "
         "peak %.2f MB\n",
         Mb(base->rssKb), Mb(firstPass->rssKb), Mb(last->rssKb), Mb(peakKb));
  printf("  resident at each pass's end (MB):%s\n", byPass.c_str());
  printf("  heap in use            after the first pass %.2f MB, end %.2f MB\n", Mb(firstPass->heapKb),
         Mb(last->heapKb));
  printf("  growth after pass 1    %+ld KB (bound < %ld KB)\n", growthKb, kMaxGrowthKb);
  printf("  live platform objects  baseline %d (drawing %d), end %d (drawing %d)\n", base->handles,
         base->drawing, last->handles, last->drawing);
  printf("  open descriptors       baseline %d, end %d\n", base->fds, last->fds);
  printf("  workers once idle      at most %d (bound %d); process threads at most %d\n",
         idleWorkers, kMaxIdleWorkers, idleThreads);
  printf("  wall time              %.1f s (files made in %.1f s)\n", seconds, setupSeconds);

  bool ok = true;
  auto check = [&ok](bool held, const char* what) {
    if (!held) {
      printf("  BOUND BROKEN: %s\n", what);
      ok = false;
    }
  };
  check(growthKb < kMaxGrowthKb, "resident memory grew after the first pass");
  check(last->handles == base->handles && last->drawing == base->drawing,
        "live platform objects not back at the baseline");
  check(last->fds == base->fds, "open descriptors not back at the baseline");
  check(idleWorkers <= kMaxIdleWorkers, "workers alive once idle");
  check(switches == wantedSwitches && advances == wantedAdvances,
        "the script's switches or advances did not all happen");
  return ok ? 0 : 1;
}
