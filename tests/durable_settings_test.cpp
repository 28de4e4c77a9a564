// The remembered folder survives savers killed at any moment, two programs
// saving at once, and saves that cannot be made (a folder without write
// access, a file size limit, a folder where the file should be, a lock
// another process keeps): those stay silent, keep the old file and let the
// program go on. Every folder that can be entered is remembered.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "browser/entry_list.h"
#include "platform/registry.h"
#include "platform/registry_format.h"
#include "browser/settings.h"
#include "tests/support/run_tool.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/viewer_child.h"

namespace {

// A program stuck on the lock is ended by this alarm rather than hanging
// the test: the wait it is allowed is about a second a save.
const unsigned kHangSeconds = 30;

// Another process holding the registry's lock until the holder goes.
class LockHolder {
 public:
  explicit LockHolder(const std::string& lockPath) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
      if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], "l", 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    char said = 0;
    holding_ = pid_ > 0 && read(ready[0], &said, 1) == 1;
    close(ready[0]);
  }
  ~LockHolder() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool holding() const { return holding_; }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
};

// Names in a folder, sorted.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (auto& item : std::filesystem::directory_iterator(folder, ignored))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// "Dir" as the file holds it, or "<damaged>" / "<none>".
std::wstring StoredFolder(const std::string& file) {
  std::string text = ReadHostFile(file);
  RegStore store;
  if (!RegParseText(text.data(), text.size(), &store)) return L"<damaged>";
  RegKeyRecord* key = RegFindKey(&store, L"Software\\Korvane\\Viewer");
  RegValue* value = key ? RegFindValue(key, L"Dir") : nullptr;
  if (!value || value->type != REG_SZ || value->data.size() % sizeof(WCHAR)) return L"<none>";
  std::wstring folder((const WCHAR*)value->data.data(), value->data.size() / sizeof(WCHAR));
  if (!folder.empty() && folder.back() == 0) folder.pop_back();
  return folder;
}

TEST(DurableSettings, SaversKilledAtRandomNeverLeaveADamagedStore) {
  const int kRounds = 1000;
  const int kMaxDelayMicroseconds = 3000;
  TempDir dir;
  const std::string file = dir.At("config/registry.reg");
  PlatformSetRegistryFile(file.c_str());
  wcscpy(currentFolder, L"\\start");
  SaveSettings();
  std::mt19937 random(9);
  std::uniform_int_distribution<int> delay(0, kMaxDelayMicroseconds);
  std::wstring last = L"\\start";
  int changes = 0;
  for (int round = 0; round < kRounds; round++) {
    // The saver says when its first save is done, so the kill lands among
    // saves whatever the machine's load.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      for (int i = 0;; i++) {
        swprintf(currentFolder, kPathMax, L"\\round %d\\save %d", round, i);
        SaveSettings();
        if (i == 0 && (write(ready[1], "s", 1) != 1 || close(ready[1]) != 0)) _exit(1);
      }
    }
    close(ready[1]);
    char said;
    ASSERT_EQ(read(ready[0], &said, 1), 1) << round;
    close(ready[0]);
    usleep((useconds_t)delay(random));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::wstring stored = StoredFolder(file);
    wcscpy(currentFolder, L"\\junk");
    LoadSettings();
    std::wstring loaded = currentFolder;
    ASSERT_EQ(loaded, stored) << round;
    // The last value seen, or one this round's saver wrote.
    if (loaded != last) {
      const std::wstring prefix = L"\\round " + std::to_wstring(round) + L"\\save ";
      ASSERT_EQ(loaded.rfind(prefix, 0), 0u) << round;
      last = loaded;
      changes++;
    }
  }
  // Every round saved at least once before its kill.
  EXPECT_EQ(changes, kRounds);
  // At most the temporary file of the last killed saver is left over; the
  // next save clears it.
  EXPECT_LE(Listing(dir.At("config")).size(), 3u);
  wcscpy(currentFolder, L"\\after");
  SaveSettings();
  EXPECT_EQ(Listing(dir.At("config")), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
  PlatformSetRegistryFile(nullptr);
  currentFolder[0] = 0;
}

class DurableProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Empty");
    dir.MakeFolder("root/Pictures");
    dir.MakeFolder("root/Pictures/Trips");
    dir.MakeFolder("conf");
  }
  // The viewer headless over "root" with the settings in registry and the
  // script in its own file.
  ViewerChild Start(const std::string& registry, const std::string& script,
                    const std::function<void()>& setup = nullptr, const char* path = nullptr) {
    static int scripts = 0;
    std::string name = "script" + std::to_string(scripts++) + ".txt";
    dir.Write(name, script);
    std::vector<std::string> args = {"--headless", "--root", dir.At("root"), "--registry",
                                     registry, "--script", dir.At(name)};
    if (path) args.push_back(path);
    return StartViewer(args, setup);
  }
  ToolRun Run(const std::string& registry, const std::string& script,
              const std::function<void()>& setup = nullptr) {
    return FinishViewer(Start(registry, script, setup));
  }
  // The folder at the end of each state line.
  static std::vector<std::string> Folders(const std::string& out) {
    std::vector<std::string> folders;
    for (const std::string& line : Lines(out)) {
      size_t cut = line.find(' ');
      for (int field = 1; field < 10 && cut != std::string::npos; field++)
        cut = line.find(' ', cut + 1);
      folders.push_back(cut == std::string::npos ? "<bad line>" : line.substr(cut + 1));
    }
    return folders;
  }
  TempDir dir;
};

TEST_F(DurableProgram, TwoProgramsSavingAtOnceLeaveOneWholeFile) {
  const int kTrips = 40;
  const std::string registry = dir.At("conf/registry.reg");
  // Each goes in and out of its own folder, ending inside it.
  std::string toEmpty, toPictures;
  for (int i = 0; i < kTrips; i++) {
    toEmpty += "tap 40 60\nidle\ntap 40 60\nidle\n";
    toPictures += "tap 110 60\nidle\ntap 40 60\nidle\n";
  }
  toEmpty += "tap 40 60\nidle\nstate\n";
  toPictures += "tap 110 60\nidle\nstate\n";
  // Both start at the root given on the command line: without one, a start
  // would read the folder the other has just saved.
  ViewerChild first = Start(registry, toEmpty, nullptr, "\\");
  ViewerChild second = Start(registry, toPictures, nullptr, "\\");
  ToolRun a = FinishViewer(first), b = FinishViewer(second);
  ASSERT_EQ(a.exitCode, 0) << a.err;
  ASSERT_EQ(b.exitCode, 0) << b.err;
  EXPECT_EQ(Folders(a.out), std::vector<std::string>{"\\Empty"});
  EXPECT_EQ(Folders(b.out), std::vector<std::string>{"\\Pictures"});
  std::wstring stored = StoredFolder(registry);
  EXPECT_TRUE(stored == L"\\Empty" || stored == L"\\Pictures") << stored.size();
  EXPECT_EQ(Listing(dir.At("conf")), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
  // The next start opens it; an empty folder cannot be listed, so the root
  // shows instead of \Empty.
  ToolRun next = Run(registry, "state\n");
  std::string expected = stored == L"\\Empty" ? "" : std::string(stored.begin(), stored.end());
  EXPECT_EQ(Folders(next.out), std::vector<std::string>{expected});
}

TEST_F(DurableProgram, SavesThatCannotBeMadeKeepTheOldFileAndTheProgramGoesOn) {
  const std::string registry = dir.At("conf/registry.reg");
  ASSERT_EQ(Run(registry, "tap 110 60\nidle\n").exitCode, 0);
  const std::string before = ReadHostFile(registry);
  ASSERT_EQ(StoredFolder(registry), L"\\Pictures");
  // From \Pictures up to the root, then into \Empty: two saves refused.
  const std::string script = "idle\nstate\ntap 40 60\nidle\nstate\ntap 40 60\nidle\nstate\n";
  const std::vector<std::string> walked = {"\\Pictures", "", "\\Empty"};
  struct Case {
    const char* what;
    mode_t folderMode;
    std::function<void()> setup;
  };
  const Case cases[] = {
      {"a folder without write access", 0555,
       [] {
         if (!DropCapabilitiesForExec()) _exit(126);
       }},
      {"a file size limit", 0755,
       [] {
         // Writes past the limit fail with EFBIG instead of killing.
         signal(SIGXFSZ, SIG_IGN);
         struct rlimit limit = {16, 16};
         if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
       }},
  };
  for (const Case& c : cases) {
    chmod(dir.At("conf").c_str(), c.folderMode);
    ToolRun run = Run(registry, script, c.setup);
    chmod(dir.At("conf").c_str(), 0755);
    EXPECT_EQ(run.exitCode, 0) << c.what << run.err;
    EXPECT_EQ(run.err, "") << c.what;
    EXPECT_EQ(Folders(run.out), walked) << c.what;
    EXPECT_EQ(ReadHostFile(registry), before) << c.what;
    EXPECT_EQ(Listing(dir.At("conf")),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}))
        << c.what;
    EXPECT_EQ(Folders(Run(registry, "state\n").out), std::vector<std::string>{"\\Pictures"})
        << c.what;
  }

  // A folder where the file should be: nothing is remembered, nothing breaks.
  dir.MakeFolder("conf/folder.reg");
  const std::string folderPath = dir.At("conf/folder.reg");
  ToolRun run = Run(folderPath, "idle\nstate\ntap 110 60\nidle\nstate\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Folders(run.out), (std::vector<std::string>{"", "\\Pictures"}));
  EXPECT_TRUE(std::filesystem::is_directory(folderPath));
  EXPECT_EQ(Listing(folderPath), std::vector<std::string>{});
  EXPECT_EQ(Folders(Run(folderPath, "state\n").out), std::vector<std::string>{""});
}

TEST_F(DurableProgram, ALockHeldByAnotherProcessFailsTheSavesAndTheProgramGoesOn) {
  const std::string registry = dir.At("conf/registry.reg");
  ASSERT_EQ(Run(registry, "tap 110 60\nidle\n").exitCode, 0);
  const std::string before = ReadHostFile(registry);
  ASSERT_EQ(StoredFolder(registry), L"\\Pictures");
  const auto bounded = [] { alarm(kHangSeconds); };
  {
    LockHolder holder(registry + ".lock");
    ASSERT_TRUE(holder.holding());
    // Up to the root, then into \Empty: two saves, each given up.
    ToolRun run = Run(registry, "idle\nstate\ntap 40 60\nidle\nstate\ntap 40 60\nidle\nstate\n",
                      bounded);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Folders(run.out), (std::vector<std::string>{"\\Pictures", "", "\\Empty"}));
    EXPECT_EQ(ReadHostFile(registry), before);
    // A first start creates the settings key, a save of its own.
    const std::string fresh = dir.At("conf/fresh.reg");
    LockHolder freshHolder(fresh + ".lock");
    ASSERT_TRUE(freshHolder.holding());
    ToolRun first = Run(fresh, "idle\nstate\n", bounded);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(Folders(first.out), std::vector<std::string>{""});
    EXPECT_EQ(ReadHostFile(fresh), "");
  }
  // Once the lock is free the old folder is still there and saves work.
  ToolRun after = Run(registry, "idle\nstate\ntap 40 60\nidle\n", bounded);
  EXPECT_EQ(Folders(after.out), std::vector<std::string>{"\\Pictures"});
  EXPECT_EQ(StoredFolder(registry), L"");
}

TEST_F(DurableProgram, LongFoldersAreRememberedAndOnesThatCannotBeListedAreNotEntered) {
  // Device paths: 502 characters for the outer folder; 507 for "cccc",
  // whose listing pattern just fits; 508 for "ddddd", whose does not.
  const std::string outer = "root/" + std::string(250, 'a') + "/" + std::string(250, 'b');
  for (const std::string& f : {outer.substr(0, 255), outer, outer + "/cccc", outer + "/cccc/x",
                               outer + "/ddddd", outer + "/ddddd/x"})
    dir.MakeFolder(f);
  const std::string device = "\\" + std::string(250, 'a') + "\\" + std::string(250, 'b');
  const std::string registry = dir.At("conf/registry.reg");
  // In from the command line, a tap on "ddddd" (refused: it stays), then
  // into "cccc".
  ViewerChild child = Start(registry, "idle\nstate\ntap 180 60\nidle\nstate\ntap 110 60\nidle\nstate\n",
                            nullptr, device.c_str());
  ToolRun run = FinishViewer(child);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 3u) << run.out;
  EXPECT_EQ(states[0], (UiStateLine{.entryCount = 3, .folder = device}));
  EXPECT_EQ(states[1], states[0]);
  EXPECT_EQ(states[2], (UiStateLine{.entryCount = 2, .folder = device + "\\cccc"}));
  // The next start restores it.
  ToolRun next = Run(registry, "idle\nstate\n");
  EXPECT_EQ(ParseStateLines(next.out), std::vector<UiStateLine>{states[2]});
}

}  // namespace
