// A picture whose read never returns, served by a real FUSE file system
// (Debian's python3-fusepy), linked into a folder of ordinary pictures. The
// headless program runs over it and over the same folder with a broken
// picture in its place: it must end, show the same grid (every other
// thumbnail), the same black viewer and the next picture, and after twenty
// visits hold at most one thread and one descriptor more.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/screenshot.h"
#include "tests/support/temp_dir.h"

namespace {

const char* const kPython = "/usr/bin/python3";
const int kMountWaitMs = 10000;
const int kRunLimitMs = 20000;  // a hang check: a run takes a few seconds
const int kCountSamples = 10;  // 200 ms of counts at the last shot
const int kVisits = 20;
const int kStalledSize = 40000;

// Serves one file, stall.jpg, whose every read blocks until the process dies.
const char* const kStalledFs = R"(
import errno, stat, sys, threading, time
import fusepy

class Stalled(fusepy.Operations):
    def __init__(self, size):
        self.size = size
        self.never = threading.Event()
    def getattr(self, path, fh=None):
        now = time.time()
        if path == '/':
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2, st_mtime=now)
        if path == '/stall.jpg':
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=self.size, st_mtime=now)
        raise fusepy.FuseOSError(errno.ENOENT)
    def readdir(self, path, fh):
        return ['.', '..', 'stall.jpg']
    def open(self, path, flags):
        return 0
    def read(self, path, size, offset, fh):
        self.never.wait()
        return b''

fusepy.FUSE(Stalled(int(sys.argv[2])), sys.argv[1], foreground=True, ro=True, nothreads=False)
)";

// The mounted file system; unmounted (which ends the stuck reads) when it goes.
class StalledMount {
 public:
  StalledMount() {
    char pattern[] = "/tmp/stalled-fs-XXXXXX";
    if (!mkdtemp(pattern)) return;
    folder_ = pattern;
    const std::string script = folder_ + "/stalled_fs.py", point = folder_ + "/mnt";
    FILE* f = fopen(script.c_str(), "w");
    if (!f) return;
    fputs(kStalledFs, f);
    fclose(f);
    mkdir(point.c_str(), 0755);
    daemon_ = fork();
    if (daemon_ == 0) {
      int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, 1);
      dup2(quiet, 2);
      execl(kPython, kPython, script.c_str(), point.c_str(), std::to_string(kStalledSize).c_str(),
            (char*)nullptr);
      _exit(127);
    }
    struct stat parent = {};
    stat(folder_.c_str(), &parent);
    for (int waited = 0; waited < kMountWaitMs; waited += 50) {
      struct stat st = {};
      if (stat(File().c_str(), &st) == 0 && st.st_dev != parent.st_dev && S_ISREG(st.st_mode)) {
        mounted_ = true;
        return;
      }
      if (daemon_ > 0 && waitpid(daemon_, nullptr, WNOHANG) == daemon_) {
        daemon_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~StalledMount() { Stop(); }
  void Stop() {
    if (daemon_ > 0) {
      kill(daemon_, SIGKILL);
      waitpid(daemon_, nullptr, 0);
      daemon_ = -1;
    }
    if (!folder_.empty()) {
      umount2((folder_ + "/mnt").c_str(), MNT_DETACH);
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
      folder_.clear();
    }
  }
  bool mounted() const { return mounted_; }
  std::string File() const { return folder_ + "/mnt/stall.jpg"; }

 private:
  std::string folder_;
  pid_t daemon_ = -1;
  bool mounted_ = false;
};

// What a headless run left: its state lines, and the threads and
// descriptors it held at its last shot (taken through a FIFO, so the
// program waits in it while they are counted).
struct Outcome {
  bool ended = false;
  int exitCode = -1;
  std::string states;
  int threads = -1;
  int descriptors = -1;
};

int CountEntries(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    n++;
  return n;
}

// Whether the program's main thread has ended: a thread still in a read of
// the stalled file keeps the process itself from ending until the file
// system goes.
bool MainThreadEnded(pid_t pid) {
  FILE* f = fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (!f) return true;
  char line[1024] = "";
  const bool got = fgets(line, sizeof line, f) != nullptr;
  fclose(f);
  const char* close = strrchr(line, ')');
  return !got || !close || close[1] == 0 || close[2] == 'Z' || close[2] == 'X';
}

// Runs the viewer on script (its last shot names `fifo`), then unmounts the
// file system, since a read it serves can neither end nor be killed.
Outcome RunViewer(const std::vector<std::string>& args, const std::string& fifo,
                  const std::string& outPath, StalledMount* mount) {
  Outcome o;
  mkfifo(fifo.c_str(), 0600);
  const std::string tool = std::string(VIEWER_TOOL_DIR) + "/korvane-viewer";
  std::vector<std::string> all = {tool};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int quiet = open("/dev/null", O_WRONLY);
    dup2(out, 1);
    dup2(quiet, 2);
    // The leak check at exit stops every thread first, and one stuck in
    // the stalled mount never stops: this run's leaks are the other runs'.
    const char* asan = getenv("ASAN_OPTIONS");
    const std::string options = std::string(asan ? asan : "") + ":detect_leaks=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRunLimitMs);
  auto left = [&] {
    return (int)std::chrono::duration_cast<std::chrono::milliseconds>(
               deadline - std::chrono::steady_clock::now()).count();
  };
  // The shot opens the FIFO for writing once a reader is there.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  pollfd p = {reader, POLLIN, 0};
  if (reader >= 0 && poll(&p, 1, left() > 0 ? left() : 0) == 1) {
    // The least over a moment: a worker that has said it is done may still
    // be on its way out when first counted.
    const std::string proc = "/proc/" + std::to_string(child);
    o.threads = o.descriptors = INT_MAX;
    for (int i = 0; i < kCountSamples; i++) {
      o.threads = std::min(o.threads, CountEntries(proc + "/task"));
      o.descriptors = std::min(o.descriptors, CountEntries(proc + "/fd"));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    fcntl(reader, F_SETFL, 0);
    char buffer[65536];
    while (read(reader, buffer, sizeof buffer) > 0) {
    }
  }
  if (reader >= 0) close(reader);
  while (!(o.ended = MainThreadEnded(child)) && left() > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (mount) mount->Stop();
  if (!o.ended) kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  FILE* f = fopen(outPath.c_str(), "r");
  char line[4096];
  while (f && fgets(line, sizeof line, f)) o.states += line;
  if (f) fclose(f);
  return o;
}

// From the folder (".." selected), Enter goes up and Enter comes back.
std::string Script(bool visits, const std::string& shots) {
  std::string s;
  if (visits) {
    s += "idle\n";
    for (int i = 0; i < kVisits; i++) s += "key 0d\nwait 150\nkey 0d\nwait 150\n";
    s += "idle\nstate\nshot " + shots + "grid.bmp\n";
    s += "key 27\nwait 150\nkey 0d\nwait 150\n";  // onto the picture, opened
  }
  s += "state\nshot " + shots + "viewer.bmp\n";
  s += "key 27\nwait 150\nstate\nshot " + shots + "next.bmp\n";
  s += "key 1b\nwait 150\nidle\nstate\nshot " + shots + "fifo.bmp\nquit\n";
  return s;
}

TEST(StalledFile, ViewerAndWorkerGoOnAndAStallCostsOneThread) {
  {
    StalledMount probe;
    if (!probe.mounted()) GTEST_SKIP() << "FUSE cannot be mounted here (needs /dev/fuse, fuse3, "
                                          "python3-fusepy and the right to mount)";
  }
  TempDir dir;
  JpegSampleOptions o;
  o.width = 96;
  o.height = 64;
  std::string jpeg;
  ASSERT_EQ(JpegSampleBytes(o, &jpeg), 1);
  // The same folder twice: the stalled link, or a broken picture, first.
  for (const char* side : {"stalled", "broken"}) {
    const std::string folder = std::string(side) + "/pics";
    std::filesystem::create_directories(dir.At(folder));
    dir.Write(folder + "/b.jpg", jpeg);
    dir.Write(folder + "/c.jpg", jpeg.substr(0, jpeg.size() * 2 / 3));
    dir.Write(folder + "/d.jpg", jpeg);
  }
  dir.Write("broken/pics/a-stall.jpg", std::string(kStalledSize, 'x'));
  struct Case {
    bool photos;
    bool visits;  // twenty visits first, else the picture opened at the start
  } const kCases[] = {{false, true}, {true, true}, {false, false}, {true, false}};
  for (const Case& c : kCases) {
    const std::string label = std::string(c.photos ? "--photos, " : "") +
                              (c.visits ? "twenty visits" : "opened at the start");
    Outcome runs[2];
    std::vector<Picture565> shots[2];
    // A file system of its own for each case: its first read always stalls.
    StalledMount mount;
    ASSERT_TRUE(mount.mounted()) << label;
    const std::string link = dir.At("stalled/pics/a-stall.jpg");
    unlink(link.c_str());
    ASSERT_EQ(symlink(mount.File().c_str(), link.c_str()), 0);
    for (int i = 0; i < 2; i++) {
      const std::string side = i == 0 ? "stalled" : "broken";
      const std::string shotPrefix = dir.At(side + "-");
      dir.Write("script.txt", Script(c.visits, shotPrefix));
      std::vector<std::string> args = {"--headless", "--root", dir.At(side), "--registry",
                                       dir.At(side + ".reg"), "--script", dir.At("script.txt"),
                                       c.visits ? "\\pics" : "\\pics\\a-stall.jpg"};
      if (c.photos) args.insert(args.begin(), "--photos");
      runs[i] = RunViewer(args, shotPrefix + "fifo.bmp", dir.At("states.txt"),
                          i == 0 ? &mount : nullptr);
      std::filesystem::remove(shotPrefix + "fifo.bmp");
      for (const char* shot : {"grid.bmp", "viewer.bmp", "next.bmp"})
        shots[i].push_back(ReadShotBmp(shotPrefix + shot));
    }
    const Outcome& stalled = runs[0];
    const Outcome& broken = runs[1];
    ASSERT_TRUE(stalled.ended) << label << ": still running after " << kRunLimitMs / 1000 << " s";
    ASSERT_TRUE(broken.ended) << label;
    EXPECT_EQ(stalled.exitCode, 0) << label;
    EXPECT_EQ(broken.exitCode, 0) << label;
    EXPECT_EQ(stalled.states, broken.states) << label;
    // The grid with every other thumbnail and the black viewer as for the
    // broken picture; then the next picture, whose dither noise has moved on
    // by a number of thumbnails that depends on timing, so it is only seen
    // to show: its pixels beside the viewer's buttons.
    for (size_t s = c.visits ? 0 : 1; s < shots[0].size(); s++)
      ASSERT_GT(shots[0][s].width, 0) << label << " shot " << s;
    if (c.visits) {
      EXPECT_EQ(shots[0][0].words, shots[1][0].words) << label << ": the grid";
    }
    EXPECT_EQ(shots[0][1].words, shots[1][1].words) << label << ": the black viewer";
    auto shown = [](const Picture565& p) {
      return p.width * p.height - CountWord(p, 0, 0, p.width, p.height, 0);
    };
    EXPECT_GE(shown(shots[0][2]), shown(shots[0][1]) + o.width * o.height / 2)
        << label << ": the next picture shows";
    EXPECT_GT(broken.threads, 0) << label;
    EXPECT_LE(stalled.threads, broken.threads + 1) << label;
    EXPECT_LE(stalled.descriptors, broken.descriptors + 1) << label;
    printf("  %-36s threads %d (broken picture %d), descriptors %d (%d)\n", label.c_str(),
           stalled.threads, broken.threads, stalled.descriptors, broken.descriptors);
  }
}

}  // namespace
