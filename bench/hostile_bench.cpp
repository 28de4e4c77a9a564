// The hostile files measured from outside, each run a process of its own:
// every file decoded by korvane-decode as a thumbnail and in each fit mode,
// then folders of them shown by the headless program, and a folder entered
// and left over and over while its thumbnails are decoded.
//
// Prints per file its size, the worst wall time (and the mode that took it)
// and the worst peak resident memory of the four decodes; per folder run its
// wall time and peak resident memory. A file that gives no picture is what
// is expected. Exits 1 when a run crashed, timed out, could not start, or a
// folder run did not do what its script asked; the figures print either way.
//
// Then small pictures followed by 20 GB of zeros, each decoded the same way.
//
//   hostile_bench [--tools DIR]   DIR holds korvane-viewer and korvane-decode
//                                 (default: this program's own folder)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "samples/hostile_samples.h"

namespace {

const int kChildTimeoutMs = 60000;  // a decode past every limit still ends far sooner
const int kManyFiles = 509;         // with the parent entry, the 510 a scan lists
const int kRoundTrips = 50;
const int kWaitMs = 50;             // virtual clock between the keys
const int kStateFields = 10;        // numbers before the folder on a state line
const int kEntryCountField = 9;
const int kHonestWidth = 640, kHonestHeight = 480;

struct DecodeMode {
  const char* name;
  const char* args[2];
};

const DecodeMode kModes[] = {
    {"thumbnail", {"--thumbnail", nullptr}},
    {"fit 0", {"--fit", "0"}},
    {"fit 1", {"--fit", "1"}},
    {"fit 2", {"--fit", "2"}},
};

// One child process: wall time from fork to its end, its own peak resident
// memory, and how it ended.
struct Run {
  double seconds = 0;
  long peakKb = 0;
  int exitCode = -1;  // -1: did not start, was killed or timed out
  char trouble[64] = "";
};

// Runs args[0] with its standard output in outPath (or discarded) and its
// standard error discarded; kills it past the timeout.
void RunChild(const std::vector<std::string>& args, const char* outPath, Run* run) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back((char*)a.c_str());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    int out = open(outPath ? outPath : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int quiet = open("/dev/null", O_WRONLY);
    if (out < 0 || quiet < 0) _exit(127);
    dup2(out, 1);
    dup2(quiet, 2);
    close(out);
    close(quiet);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (child < 0) {
    snprintf(run->trouble, sizeof run->trouble, "cannot fork");
    return;
  }
  bool timedOut = false;
  const int pidfd = (int)syscall(SYS_pidfd_open, child, 0);
  if (pidfd >= 0) {
    pollfd p = {pidfd, POLLIN, 0};
    if (poll(&p, 1, kChildTimeoutMs) == 0) {
      timedOut = true;
      kill(child, SIGKILL);
    }
    close(pidfd);
  }
  int status = 0;
  struct rusage usage = {};
  if (wait4(child, &status, 0, &usage) != child) {
    snprintf(run->trouble, sizeof run->trouble, "lost the child");
    return;
  }
  run->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run->peakKb = usage.ru_maxrss;
  if (timedOut) {
    snprintf(run->trouble, sizeof run->trouble, "timed out after %d s", kChildTimeoutMs / 1000);
  } else if (WIFSIGNALED(status)) {
    snprintf(run->trouble, sizeof run->trouble, "killed by signal %d", WTERMSIG(status));
  } else if (WEXITSTATUS(status) == 127) {
    snprintf(run->trouble, sizeof run->trouble, "could not start %s", args[0].c_str());
  } else {
    run->exitCode = WEXITSTATUS(status);
  }
}

double Mb(long kb) { return kb / 1024.0; }

// The peak of a child that exits at once: what every child's figure counts
// from, since the kernel keeps the larger of its peak before and after exec.
long ForkFloorKb() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  struct rusage usage = {};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
  return usage.ru_maxrss;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

// Decodes one file in every mode (with --photos for the photo formats, which
// are refused without it); prints its row. False when a run failed.
bool MeasureFile(const std::string& decoder, const std::string& label, const std::string& path,
                 size_t bytes, bool photos, const std::string& scratch) {
  Run worst;
  const char* worstMode = "";
  long peakKb = 0;
  int pictures = 0;
  std::string trouble;
  for (const DecodeMode& mode : kModes) {
    std::vector<std::string> args = {decoder};
    if (photos) args.push_back("--photos");
    for (const char* a : mode.args)
      if (a) args.push_back(a);
    args.push_back(path);
    args.push_back(scratch + "/out.bmp");
    Run run;
    RunChild(args, nullptr, &run);
    if (run.seconds >= worst.seconds) {
      worst = run;
      worstMode = mode.name;
    }
    if (run.peakKb > peakKb) peakKb = run.peakKb;
    if (run.exitCode == 0) pictures++;
    // 1 is the tool's "no picture"; 2 a usage error or an unwritable output.
    if (run.exitCode < 0 || run.exitCode > 1)
      trouble += std::string(trouble.empty() ? "" : ", ") + mode.name + ": " +
                 (run.exitCode < 0 ? run.trouble : "exit " + std::to_string(run.exitCode));
  }
  char outcome[64];
  if (pictures == 0)
    snprintf(outcome, sizeof outcome, "no picture");
  else
    snprintf(outcome, sizeof outcome, "picture in %d of %zu", pictures, std::size(kModes));
  const std::string mode = std::string("(") + worstMode + ")";
  printf("  %-30s %8zu bytes  worst %6.3f s %-11s  peak %6.1f MB  %s\n", label.c_str(), bytes,
         worst.seconds, mode.c_str(), Mb(peakKb), outcome);
  if (!trouble.empty()) printf("    FAILED: %s\n", trouble.c_str());
  return trouble.empty();
}

// The folder at the end of a state line ("" for the root), and its entry count.
std::string FolderOf(const std::string& line) {
  size_t at = 0;
  for (int field = 0; field < kStateFields && at != std::string::npos; field++) {
    at = line.find(' ', at);
    if (at != std::string::npos) at++;
  }
  return at == std::string::npos ? "" : line.substr(at);
}

int Field(const std::string& line, int index) {
  size_t at = 0;
  for (int i = 0; i < index && at != std::string::npos; i++) {
    at = line.find(' ', at);
    if (at != std::string::npos) at++;
  }
  return at == std::string::npos ? -1 : atoi(line.c_str() + at);
}

// The state lines a run printed.
std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  FILE* f = fopen(path.c_str(), "r");
  if (!f) return lines;
  char line[4096];
  while (fgets(line, sizeof line, f)) lines.push_back(std::string(line, strcspn(line, "\n")));
  fclose(f);
  return lines;
}

// What one headless run should end with, and what it printed.
struct FolderRun {
  const char* root;       // host folder under the scratch folder
  const char* startPath;  // device path on the command line
  std::string script;
  int files;              // in the folder
  int wantedChanges;      // folder changes between state lines
  bool photos;            // run with --photos
};

// Runs the program on a script; prints its row. False when it failed or did
// not end in the folder with every entry listed.
bool MeasureFolder(const std::string& viewer, const std::string& scratch, const FolderRun& f,
                   const std::string& label) {
  const std::string script = scratch + "/script.txt";
  const std::string registry = scratch + "/registry.reg";
  const std::string states = scratch + "/states.txt";
  std::error_code ec;
  std::filesystem::remove(registry, ec);  // every run starts from no settings
  std::filesystem::remove_all(scratch + "/cache", ec);  // and no thumbnails kept
  if (!WriteFile(script, f.script)) return false;
  Run run;
  std::vector<std::string> args = {viewer, "--headless", "--root", scratch + "/" + f.root,
                                   "--script", script, "--registry", registry, f.startPath};
  if (f.photos) args.insert(args.begin() + 1, "--photos");
  RunChild(args, states.c_str(), &run);
  const std::vector<std::string> lines = ReadLines(states);
  int changes = 0;
  for (size_t i = 1; i < lines.size(); i++)
    if (FolderOf(lines[i]) != FolderOf(lines[i - 1])) changes++;
  const std::string last = lines.empty() ? "" : lines.back();
  printf("  %-52s %6.2f s  peak %6.1f MB\n", label.c_str(), run.seconds, Mb(run.peakKb));
  bool ok = run.exitCode == 0;
  if (!ok) printf("    FAILED: %s\n", run.exitCode < 0 ? run.trouble : "exit status not 0");
  if (FolderOf(last) != "\\hostile" || Field(last, kEntryCountField) != f.files + 1 ||
      changes != f.wantedChanges) {
    printf("    FAILED: ended with \"%s\" after %d folder changes (wanted %d entries in "
           "\\hostile after %d)\n",
           last.c_str(), changes, f.files + 1, f.wantedChanges);
    ok = false;
  }
  return ok;
}

// From the root, whose only entry is the folder: Enter opens the selection,
// which a scan puts on the first entry, the folder from the root and the
// parent inside it. Ends inside the folder once its worker has ended.
std::string BackAndForthScript() {
  std::string s = "state\n";
  const std::string step = "key 0D\nwait " + std::to_string(kWaitMs) + "\nstate\n";
  for (int i = 0; i < kRoundTrips; i++) s += step + step;
  return s + "key 0D\nidle\nstate\nquit\n";
}

std::string ProgramFolder() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : self.parent_path().string();
}

bool Link(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::create_hard_link(from, to, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  std::string tools = ProgramFolder();
  if (argc == 3 && strcmp(argv[1], "--tools") == 0) {
    tools = argv[2];
  } else if (argc != 1) {
    fprintf(stderr, "usage: hostile_bench [--tools DIR]\n");
    return 2;
  }
  const std::string decoder = tools + "/korvane-decode";
  const std::string viewer = tools + "/korvane-viewer";
  char scratchName[] = "/tmp/hostile_bench.XXXXXX";
  if (!mkdtemp(scratchName)) return 2;
  const std::string scratch = scratchName;
  // --photos keeps thumbnails in the cache folder: the scratch folder's.
  setenv("XDG_CACHE_HOME", (scratch + "/cache").c_str(), 1);
  const std::string files = scratch + "/files";
  const std::string few = scratch + "/few/hostile";
  const std::string many = scratch + "/many/hostile";
  // Every file, the photo formats too, listed only with --photos.
  const std::string all = scratch + "/all/hostile";
  std::filesystem::create_directories(files);
  std::filesystem::create_directories(few);
  std::filesystem::create_directories(many);
  std::filesystem::create_directories(all);

  // The files are written once and linked into the folders; their bytes are
  // dropped before the first child, whose peak counts this process's pages.
  std::vector<std::string> names;  // the photo formats' last
  std::vector<size_t> sizes;
  std::vector<bool> photos;
  size_t plainCount = 0;
  bool written = true;
  {
    std::vector<HostileFile> hostile;
    const std::string honest = SeedJpeg(kHonestWidth, kHonestHeight, false);
    written = MakeHostileFiles(&hostile) && !honest.empty() &&
              WriteFile(files + "/honest.jpg", honest);
    for (const HostileFile& h : hostile) {
      names.push_back(h.name);
      sizes.push_back(h.bytes.size());
      photos.push_back(h.photos);
      if (!h.photos) plainCount++;
      written = written && WriteFile(files + "/" + h.name, h.bytes) &&
                Link(files + "/" + h.name, all + "/" + h.name) &&
                (h.photos || Link(files + "/" + h.name, few + "/" + h.name));
    }
    sizes.push_back(honest.size());
  }
  for (int i = 0; written && i < kManyFiles; i++) {
    const std::string& name = names[(size_t)i % plainCount];
    char numbered[16];
    snprintf(numbered, sizeof numbered, "%03d-", i);
    written = Link(files + "/" + name, many + "/" + numbered + name);
  }
  if (!written) {
    fprintf(stderr, "hostile_bench: cannot write the files in %s\n", scratch.c_str());
    std::filesystem::remove_all(scratch);
    return 2;
  }
  const long floorKb = ForkFloorKb();

  bool ok = true;
  printf("hostile files, each decoded by %s as a thumbnail and with --fit 0, 1 and 2\n"
         "(a process each, 240 x 320; worst wall time and peak resident memory of the four):\n",
         decoder.c_str());
  ok = MeasureFile(decoder, "(honest 640 x 480 JPEG)", files + "/honest.jpg", sizes.back(),
                   false, scratch) && ok;
  for (size_t i = 0; i < names.size(); i++)
    ok = MeasureFile(decoder, names[i], files + "/" + names[i], sizes[i], photos[i], scratch) &&
         ok;

  // Small pictures at the start of 20 GB of zeros (a few KB on disk), one
  // at a time, in both modes.
  std::vector<SparseFile> sparse;
  if (!MakeSparseFiles(&sparse)) ok = false;
  printf("\nsmall pictures followed by %.0f GiB of zeros (sparse), the same way:\n",
         (double)kHugeFileBytes / (1ull << 30));
  for (const SparseFile& f : sparse) {
    const std::string path = files + "/" + f.name;
    if (!WriteSparseFile(path, f)) {
      printf("  %s: FAILED: cannot write it\n", f.name.c_str());
      ok = false;
      continue;
    }
    for (bool photos : {false, true})
      ok = MeasureFile(decoder, f.name + (photos ? " --photos" : ""), path,
                       (size_t)kHugeFileBytes, photos, scratch) && ok;
    std::filesystem::remove(path);
  }

  const int count = (int)plainCount;
  const int allCount = (int)names.size();
  const FolderRun shown = {"few", "\\hostile", "idle\nstate\nquit\n", count, 0, false};
  const FolderRun shownMany = {"many", "\\hostile", "idle\nstate\nquit\n", kManyFiles, 0, false};
  const FolderRun shownAll = {"all", "\\hostile", "idle\nstate\nquit\n", allCount, 0, true};
  const std::string trips = BackAndForthScript();
  const FolderRun trip = {"few", "\\", trips, count, 2 * kRoundTrips + 1, false};
  const FolderRun tripMany = {"many", "\\", trips, kManyFiles, 2 * kRoundTrips + 1, false};
  printf("\nfolders, shown by %s --headless until the thumbnail worker has ended:\n",
         viewer.c_str());
  ok = MeasureFolder(viewer, scratch, shown,
                     "folder of " + std::to_string(count) + " hostile files") && ok;
  ok = MeasureFolder(viewer, scratch, shownAll,
                     "folder of all " + std::to_string(allCount) + " with --photos") && ok;
  ok = MeasureFolder(viewer, scratch, shownMany,
                     "folder of " + std::to_string(kManyFiles) + " (the same, repeated)") && ok;
  ok = MeasureFolder(viewer, scratch, trip,
                     "in and out of the " + std::to_string(count) + " files " +
                         std::to_string(kRoundTrips) + " times, then in") && ok;
  ok = MeasureFolder(viewer, scratch, tripMany,
                     "in and out of the " + std::to_string(kManyFiles) + " files " +
                         std::to_string(kRoundTrips) + " times, then in") && ok;
  printf("\n(each peak counts from the fork: %.1f MB for a child that exits at once)\n",
         Mb(floorKb));
  std::filesystem::remove_all(scratch);
  return ok ? 0 : 1;
}
