// Random sequences of taps, drags, keys, wheel turns, ticks, folder changes and start
// paths played through the headless viewer, with the state line checked
// after every step:
//   firstVisible >= 0 and a multiple of the columns; 0 <= selection <=
//   max(0, entryCount - 1); the folder is one of ours, never outside the
//   root, with its real entry count; in the viewer currentPicture < entryCount
//   and names a picture; zoomIndex and decodeMode stay in their ranges.
// A crash, a sanitizer report, a hang or an early end is a finding too. Each
// finding's script and command line are kept to be run again.
//   ui_sequences --viewer PATH [--seconds N] [--sequences N] [--seed S]
//                [--steps N] [--work DIR] [--findings DIR]
// It stops after N sequences or N seconds, whichever comes first.
// Prints the sequences and steps run and the findings; exits 1 on any.
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "samples/jpeg_samples.h"

namespace {

// Layout numbers of the grid, from the outside: a 20-pixel toolbar at the
// right, tiles 70 wide and 95 high from (5, 25).
const int kToolbar = 20, kCellW = 70, kCellH = 95, kGridX = 5, kGridY = 25;
const int kZoomRows = 10;
const int kDecodeModes = 3;
// The smallest screen the program takes, the handheld's and a larger one.
const int kScreens[][2] = {{90, 120}, {240, 320}, {480, 640}};
// A sanitized viewer starts slowly; a sequence is a few hundred steps.
const int kRunLimitSeconds = 120;
const long kFindingsShown = 20;  // the rest are only kept

// Key codes the window acts on, as the headless script gives them: arrows,
// return, space, plus, minus, the hardware buttons, some that do nothing,
// and the desktop's: Page Up/Down, End, Home, Backspace and the help keys.
const int kKeys[] = {0x25, 0x26, 0x27, 0x28, 0x25, 0x26, 0x27, 0x28, 0x0D, 0x0D, 0x20,
                     0x2B, 0x2D, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0x5B, 0x84, 0x41, 0x72,
                     0x21, 0x22, 0x23, 0x24, 0x08, 0x48, 0xBF};
const int kWheelNotches = 6;  // a wheel step turns up to this many either way
// Keys that may end the program: escape in the grid, the close button.
const int kEndingKeys[] = {0x1B, 0xC4};

struct Folder {
  int entries;       // entryCount once listed
  int firstPicture;  // ".." and the folders come first
};

struct Fixture {
  std::string root;                     // host folder given as --root
  std::map<std::string, Folder> known;  // device path as the state line gives it
  std::vector<std::string> starts;      // start paths to pick from
};

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) bytes.append(chunk, n);
  fclose(f);
  return bytes;
}

// A folder of `pictures` pictures (JPEG, one damaged, some of the platform
// formats) and `folders` empty subfolders, recorded under its device path.
bool MakeFolder(Fixture* fx, const std::string& device, int folders, int pictures,
                const std::string& jpeg) {
  const std::string host = fx->root + (device.empty() ? "" : "/" + device.substr(1));
  if (!device.empty() && mkdir(host.c_str(), 0755) != 0) return false;
  for (int i = 0; i < folders; i++) {
    char name[32];
    snprintf(name, sizeof(name), "/d%03d", i);
    if (mkdir((host + name).c_str(), 0755) != 0) return false;
  }
  for (int i = 0; i < pictures; i++) {
    char name[32];
    // Every seventh is a damaged JPEG, every eleventh an empty PNG: both
    // are listed as pictures and decode to nothing.
    const char* ext = i % 11 == 10 ? "png" : "jpg";
    snprintf(name, sizeof(name), "/p%03d.%s", i, ext);
    std::string bytes = i % 11 == 10 ? std::string() : jpeg;
    if (i % 7 == 6) bytes.resize(bytes.size() / 3);
    if (!WriteFile(host + name, bytes)) return false;
  }
  // Not a picture: never listed.
  if (!WriteFile(host + "/notes.txt", "not a picture")) return false;
  const int parent = device.empty() ? 0 : 1;
  fx->known[device] = {parent + folders + pictures, parent + folders};
  for (int i = 0; i < folders; i++) {
    char name[32];
    snprintf(name, sizeof(name), "\\d%03d", i);
    fx->known[device + name] = {1, 1};
  }
  fx->starts.push_back(device);
  return true;
}

// Folders of 0 (the empty root of its own device), 1, 9, 10 and 510 entries.
bool MakeFixture(const std::string& work, Fixture* full, Fixture* empty) {
  full->root = work + "/root";
  empty->root = work + "/empty";
  if (mkdir(full->root.c_str(), 0755) != 0 || mkdir(empty->root.c_str(), 0755) != 0) return false;
  const std::string sample = work + "/sample.jpg";
  JpegSampleOptions options;
  options.width = 40;
  options.height = 30;
  if (!WriteJpegSample(sample.c_str(), options)) return false;
  const std::string jpeg = ReadFile(sample);
  if (jpeg.empty()) return false;
  empty->known[""] = {0, 0};
  empty->starts = {"", "\\nothing"};
  bool ok = MakeFolder(full, "", 0, 3, jpeg) && MakeFolder(full, "\\f1", 0, 0, jpeg) &&
            MakeFolder(full, "\\f9", 0, 8, jpeg) && MakeFolder(full, "\\f10", 2, 7, jpeg) &&
            MakeFolder(full, "\\f510", 0, 509, jpeg);
  // The root also lists the four folders just made.
  full->known[""] = {4 + 3, 4};
  // Start paths that must not be used; the viewer falls back.
  full->starts.push_back("\\f9\\p000.jpg");
  full->starts.push_back("\\nothing");
  full->starts.push_back("\\f9\\..\\..\\..");
  full->starts.push_back("\"\\f10\"");
  full->starts.push_back("\\" + std::string(600, 'x'));
  full->starts.push_back(full->root + "/f10");
  return ok;
}

struct Screen {
  int w, h;
};

int RandomIn(std::mt19937& rng, int low, int high) {  // both included
  return std::uniform_int_distribution<int>(low, high)(rng);
}

// A point where something is: a tile, the toolbar, the title bar, or
// anywhere (off the screen too: the stylus is clamped).
void Point(std::mt19937& rng, Screen s, int* x, int* y) {
  switch (RandomIn(rng, 0, 5)) {
    case 0:
    case 1: {
      const int columns = (s.w - kToolbar) / kCellW;
      *x = kGridX + RandomIn(rng, 0, columns > 0 ? columns - 1 : 0) * kCellW + RandomIn(rng, 0, 63);
      *y = kGridY + RandomIn(rng, 0, 3) * kCellH + RandomIn(rng, 0, 63);
      break;
    }
    case 2:
      *x = s.w - RandomIn(rng, 1, kToolbar);
      *y = RandomIn(rng, 0, s.h - 1);
      break;
    case 3:
      *x = RandomIn(rng, 0, s.w - 1);
      *y = RandomIn(rng, 0, 20);
      break;
    case 4:
      *x = RandomIn(rng, -40, s.w + 40);
      *y = RandomIn(rng, -40, s.h + 40);
      break;
    default:
      *x = RandomIn(rng, 0, s.w - 1);
      *y = RandomIn(rng, 0, s.h - 1);
  }
}

// One step's script lines, ending in `state`. *mayEnd: the step can close
// the program (a tap or drag may hit the close cross).
std::string Step(std::mt19937& rng, Screen s, bool* mayEnd) {
  std::string lines;
  char line[64];
  int x, y;
  *mayEnd = false;
  const int kind = RandomIn(rng, 0, 99);
  if (kind < 30) {
    Point(rng, s, &x, &y);
    snprintf(line, sizeof(line), "tap %d %d\n", x, y);
    lines += line;
    *mayEnd = true;
  } else if (kind < 42) {
    Point(rng, s, &x, &y);
    snprintf(line, sizeof(line), "press %d %d\n", x, y);
    lines += line;
    for (int i = RandomIn(rng, 0, 6); i > 0; i--) {
      x += RandomIn(rng, -80, 80);
      y += RandomIn(rng, -80, 80);
      snprintf(line, sizeof(line), i % 3 == 0 ? "wait %d\n" : "move %d %d\n",
               i % 3 == 0 ? RandomIn(rng, 1, 600) : x, y);
      lines += line;
    }
    snprintf(line, sizeof(line), "release %d %d\n", x, y);
    lines += line;
    *mayEnd = true;
  } else if (kind < 75) {
    // A key, sometimes held: the first press then auto-repeats.
    const int code = kKeys[RandomIn(rng, 0, (int)(sizeof(kKeys) / sizeof(kKeys[0])) - 1)];
    snprintf(line, sizeof(line), "key %X\n", code);
    lines += line;
    if (RandomIn(rng, 0, 3) == 0) {
      snprintf(line, sizeof(line), "key %X repeat\n", code);
      for (int i = RandomIn(rng, 1, 40); i > 0; i--) lines += line;
    }
  } else if (kind < 77) {
    const int code = kEndingKeys[RandomIn(rng, 0, 1)];
    snprintf(line, sizeof(line), "key %X\n", code);
    lines += line;
    *mayEnd = true;
  } else if (kind < 79) {
    snprintf(line, sizeof(line), "key %X\n", RandomIn(rng, 1, 0xFF));
    lines += line;
    *mayEnd = true;  // any code may be a remapped close button
  } else if (kind < 82) {
    snprintf(line, sizeof(line), "wheel %d\n", RandomIn(rng, -kWheelNotches, kWheelNotches));
    lines += line;
  } else if (kind < 95) {
    // Ticks: a few, or enough for slide-show steps.
    snprintf(line, sizeof(line), "wait %d\n",
             RandomIn(rng, 0, 3) ? RandomIn(rng, 0, 1000) : RandomIn(rng, 3000, 12000));
    lines += line;
  } else {
    lines += "idle\n";
  }
  return lines + "state\n";
}

struct Run {
  int status = 0;  // from waitpid
  bool timedOut = false;
  bool startFailed = false;
  std::string out, err;
};

// Runs the viewer with args; output kept, killed past the limit.
Run RunViewer(const std::vector<std::string>& args) {
  Run run;
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0) return run;
  if (pipe(errPipe) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return run;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    run.startFailed = true;
    return run;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunLimitSeconds);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, (int)left.count()) < 0 && errno != EINTR) {
      kill(pid, SIGKILL);
      break;
    }
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[4096];
      ssize_t n = read(fds[i].fd, chunk, sizeof(chunk));
      if (n > 0) {
        sinks[i]->append(chunk, (size_t)n);
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open--;
      }
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  waitpid(pid, &run.status, 0);
  return run;
}

// A device path with its "." and ".." parts worked out; ".." stops at the
// root, as the program's own resolution does.
std::string Canonical(const std::string& folder) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= folder.size()) {
    size_t end = folder.find('\\', at);
    if (end == std::string::npos) end = folder.size();
    const std::string part = folder.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "\\" + part;
  return out;
}

// The first broken rule of one state line, or empty.
// One state line: gridMode selection firstVisible currentPicture zoomIndex
// panX panY slideShow decodeMode entryCount, then the folder.
struct State {
  int grid, selection, first, current, zoom, panX, panY, slide, mode, count;
  std::string folder;
};

bool ParseState(const std::string& line, State* st) {
  int used = 0;
  if (sscanf(line.c_str(), "%d %d %d %d %d %d %d %d %d %d %n", &st->grid, &st->selection,
             &st->first, &st->current, &st->zoom, &st->panX, &st->panY, &st->slide, &st->mode,
             &st->count, &used) != 10)
    return false;
  st->folder = line.substr((size_t)used);
  return true;
}

std::string CheckState(const State& st, const Fixture& fx, Screen s) {
  const int first = st.first, selection = st.selection, count = st.count;
  const std::string& folder = st.folder;
  const int columns = (s.w - kToolbar) / kCellW;
  if (first < 0 || columns < 1 || first % columns != 0) return "firstVisible off the columns";
  if (selection < 0 || selection > (count > 0 ? count - 1 : 0)) return "selection out of range";
  // The root reached through ".." parts is listed with a ".." of its own.
  const std::string canonical = Canonical(folder);
  auto known = fx.known.find(canonical);
  if (known == fx.known.end()) return "a folder that is not ours";
  const int alias = canonical.empty() && !folder.empty() ? 1 : 0;
  if (count != known->second.entries + alias) return "wrong entry count";
  if (st.zoom < 0 || st.zoom >= kZoomRows) return "zoom row out of the table";
  if (st.mode < 0 || st.mode >= kDecodeModes) return "unknown decode mode";
  if (!st.grid && (st.current >= count || st.current < known->second.firstPicture + alias))
    return "the viewer's picture is not a picture of the list";
  return "";
}

struct Totals {
  long sequences = 0, steps = 0, findings = 0;
  long viewerSteps = 0, slideShowSteps = 0, folderChanges = 0;
};

// What a run reached, so that a quiet run can be told from one that never
// left the grid. previous: null for the first line.
void Count(const State& st, const State* previous, Totals* totals) {
  if (!st.grid) totals->viewerSteps++;
  if (st.slide) totals->slideShowSteps++;
  if (previous && st.folder != previous->folder) totals->folderChanges++;
}

// One sequence: a random screen, start path and settings, then steps.
void OneSequence(const std::string& viewer, const std::string& work, const std::string& findings,
                 const Fixture& full, const Fixture& empty, unsigned seed, int steps,
                 Totals* totals) {
  std::mt19937 rng(seed);
  const Fixture& fx = RandomIn(rng, 0, 9) == 0 ? empty : full;
  const int row = RandomIn(rng, 0, 2);
  const Screen s = {kScreens[row][0], kScreens[row][1]};
  std::vector<bool> mayEnd;
  std::string script;
  for (int i = 0; i < steps; i++) {
    bool ends;
    script += Step(rng, s, &ends);
    mayEnd.push_back(ends);
  }
  const std::string scriptPath = work + "/script.txt";
  const std::string registry = work + "/registry.reg";
  // Settings: kept from the last sequence, none, or damaged.
  const int settings = RandomIn(rng, 0, 5);
  if (settings == 0) unlink(registry.c_str());
  if (settings == 1) {
    static const char kDamaged[] = "\xff\xfe[HKEY_\0\\bad\r\n\"LastFolder\"=";
    WriteFile(registry, std::string(kDamaged, sizeof(kDamaged) - 1));
  }
  if (!WriteFile(scriptPath, script)) return;
  // The settings as this run finds them, kept with a finding.
  struct stat settingsFile;
  const bool hadSettings = stat(registry.c_str(), &settingsFile) == 0;
  const std::string settingsBefore = hadSettings ? ReadFile(registry) : std::string();
  char size[32];
  snprintf(size, sizeof(size), "%dx%d", s.w, s.h);
  std::vector<std::string> args = {viewer, "--headless", "--script", scriptPath, "--root",
                                   fx.root, "--screen", size, "--registry", registry};
  // A third of the runs in the photos face: the same folders list the same
  // entries, and its worker follows the shown page.
  if (RandomIn(rng, 0, 2) == 0) args.push_back("--photos");
  if (RandomIn(rng, 0, 4) != 0) args.push_back(fx.starts[RandomIn(rng, 0, (int)fx.starts.size() - 1)]);
  Run run = RunViewer(args);

  std::string problem;
  int lines = 0;
  size_t at = 0;
  State previous = {};
  while (problem.empty() && at < run.out.size()) {
    size_t end = run.out.find('\n', at);
    if (end == std::string::npos) end = run.out.size();
    State st;
    if (!ParseState(run.out.substr(at, end - at), &st)) {
      problem = "not a state line";
    } else {
      problem = CheckState(st, fx, s);
      Count(st, lines ? &previous : nullptr, totals);
      previous = st;
    }
    if (!problem.empty()) problem = "step " + std::to_string(lines + 1) + ": " + problem;
    lines++;
    at = end + 1;
  }
  if (problem.empty()) {
    if (run.startFailed) {
      problem = "the program could not be started";
    } else if (run.timedOut) {
      problem = "no end within " + std::to_string(kRunLimitSeconds) + " s";
    } else if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
      problem = WIFSIGNALED(run.status) ? "killed by signal " + std::to_string(WTERMSIG(run.status))
                                        : "exit code " + std::to_string(WEXITSTATUS(run.status));
    } else if (lines < steps && !mayEnd[(size_t)lines]) {
      problem = "ended after step " + std::to_string(lines) + ", which cannot close it";
    } else if (run.err.find("ERROR: ") != std::string::npos ||
               run.err.find("runtime error") != std::string::npos) {
      problem = "a sanitizer report";
    }
  }
  totals->sequences++;
  totals->steps += lines;
  if (problem.empty()) return;
  totals->findings++;
  const std::string base = findings + "/sequence-" + std::to_string(seed);
  // The command runs again on the kept script and settings; the folders
  // are the work folder's, kept as long as it holds findings.
  WriteFile(base + ".script", script);
  args[3] = base + ".script";
  args[9] = base + ".reg";
  if (hadSettings) WriteFile(args[9], settingsBefore);
  std::string command;
  for (const std::string& a : args) command += "'" + a + "' ";
  WriteFile(base + ".txt", problem + "\n" + command + "\n--- output\n" + run.out +
                               "--- errors\n" + run.err);
  if (totals->findings <= kFindingsShown) {
    printf("finding: seed %u: %s (%s.txt)\n", seed, problem.c_str(), base.c_str());
    fflush(stdout);
  }
}

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

int main(int argc, char** argv) {
  std::string viewer, work, findings;
  double seconds = 30;
  long sequences = 0;  // 0: as many as the time allows
  unsigned seed = (unsigned)time(nullptr);
  int steps = 200;
  // Flags come in pairs; one without its value is refused.
  const bool paired = argc % 2 == 1;
  for (int i = 1; paired && i + 1 < argc; i += 2) {
    const std::string flag = argv[i], value = argv[i + 1];
    if (flag == "--viewer") viewer = value;
    else if (flag == "--seconds") seconds = atof(value.c_str());
    else if (flag == "--seed") seed = (unsigned)strtoul(value.c_str(), nullptr, 10);
    else if (flag == "--steps") steps = atoi(value.c_str());
    else if (flag == "--sequences") sequences = atol(value.c_str());
    else if (flag == "--work") work = value;
    else if (flag == "--findings") findings = value;
    else return fprintf(stderr, "unknown option %s\n", flag.c_str()), 2;
  }
  if (!paired || viewer.empty() || steps < 1) {
    fprintf(stderr, "usage: ui_sequences --viewer PATH [--seconds N] [--sequences N] [--seed S] "
                    "[--steps N] [--work DIR] [--findings DIR]\n");
    return 2;
  }
  // Absolute, so that a finding's command runs from anywhere.
  char* absolute = realpath(viewer.c_str(), nullptr);
  if (!absolute) return fprintf(stderr, "no program at %s\n", viewer.c_str()), 2;
  viewer = absolute;
  free(absolute);
  char scratch[] = "/tmp/ui-sequences-XXXXXX";
  if (work.empty()) {
    if (!mkdtemp(scratch)) return perror("mkdtemp"), 2;
    work = scratch;
  }
  if (findings.empty()) findings = work + "/findings";
  mkdir(work.c_str(), 0755);
  mkdir(findings.c_str(), 0755);
  // The photos face's thumbnail cache: the runs share one in the work
  // folder, so later runs take thumbnails from it; the user's is never
  // touched.
  setenv("XDG_CACHE_HOME", (work + "/cache").c_str(), 1);
  Fixture full, empty;
  if (!MakeFixture(work, &full, &empty)) {
    fprintf(stderr, "cannot make the folders in %s\n", work.c_str());
    return 2;
  }
  Totals totals;
  const auto start = std::chrono::steady_clock::now();
  const unsigned first = seed;
  for (;; seed++) {
    OneSequence(viewer, work, findings, full, empty, seed, steps, &totals);
    const double spent =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (spent >= seconds || (sequences > 0 && totals.sequences >= sequences)) {
      printf("ui sequences: %ld sequences (seeds %u-%u), %ld steps checked (%ld in the viewer, "
             "%ld in a slide show, %ld folder changes), %ld findings in %.0f s; work folder %s\n",
             totals.sequences, first, seed, totals.steps, totals.viewerSteps,
             totals.slideShowSteps, totals.folderChanges, totals.findings, spent, work.c_str());
      break;
    }
  }
  // A scratch folder goes unless it holds findings.
  if (!totals.findings && work == scratch) nftw(scratch, RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
  return totals.findings ? 1 : 0;
}
