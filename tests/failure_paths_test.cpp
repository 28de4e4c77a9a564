// Failure paths of the whole program: a window that cannot be created, no
// usable font, a folder that cannot be listed, an empty root, and pictures
// deleted after the scan, in the viewer and during a slide show.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/window.h"
#include "samples/jpeg_samples.h"
#include "shell/startup.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/viewer_child.h"

namespace {

const uint16_t kBlack = 0x0000, kWhite = 0xFFFF;
const uint16_t kNavy = 0x0010;  // the label and title colour

int createCalls;

LRESULT RefuseCreation(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_CREATE) return DefWindowProcW(hwnd, message, wParam, lParam);
  createCalls++;
  return -1;
}

TEST(FailurePaths, AWindowThatCannotBeCreatedEndsTheEntryPointWithZero) {
  // In a child, so that the class stays out of this process. The class
  // name the program registers is taken first, by a procedure that refuses
  // WM_CREATE; the program's own registration then fails.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RefuseCreation;
    wc.lpszClassName = L"VIEWER";
    if (!RegisterClassW(&wc)) _exit(10);
    // A window that did come up would wait for input for ever.
    alarm(20);
    int code = ViewerMain(nullptr, L"\\", SW_SHOW);
    _exit(code != 0 ? 11 : createCalls != 1 ? 12 : PlatformActiveWindow() ? 13 : 0);
  }
  int status = -1;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

class FailureProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Folder");
    dir.MakeFolder("root/Pictures");
    JpegSampleOptions o;
    o.width = 120;
    o.height = 90;
    for (int i = 0; i < 5; i++) {
      o.seed = (unsigned)i + 1;
      ASSERT_EQ(WriteJpegSample(Picture(i).c_str(), o), 1);
    }
  }
  std::string Picture(int i) { return dir.At("root/Pictures/p0" + std::to_string(i) + ".jpg"); }
  ViewerChild Start(const std::string& script, const std::vector<std::string>& args,
                    const std::function<void()>& setup = nullptr) {
    static int scripts = 0;
    std::string name = "script" + std::to_string(scripts++) + ".txt";
    dir.Write(name, script);
    std::vector<std::string> all = {"--headless", "--root", dir.At("root"), "--registry",
                                    dir.At("registry.reg"), "--script", dir.At(name)};
    all.insert(all.end(), args.begin(), args.end());
    return StartViewer(all, setup);
  }
  ToolRun Run(const std::string& script, const std::vector<std::string>& args = {},
              const std::function<void()>& setup = nullptr) {
    return FinishViewer(Start(script, args, setup));
  }
  std::string Shot(const std::string& name) { return "shot " + dir.At(name) + "\n"; }
  TempDir dir;
};

TEST_F(FailureProgram, WithoutAnyFontTheGridAndViewerPaintWithoutText) {
  dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
  const std::string fontConfig = dir.At("fonts.conf");
  const std::string script = "idle\n" + Shot("root.bmp") + "tap 110 60\nidle\n" +
                             Shot("pictures.bmp") + "tap 110 60\n" + Shot("viewer.bmp") + "state\n";
  // The same script with fonts shows the navy text the check looks for.
  ToolRun normal = Run(script);
  ASSERT_EQ(normal.exitCode, 0) << normal.err;
  const Picture565 withFonts = ReadShotBmp(dir.At("root.bmp"));
  const Picture565 viewerWithFonts = ReadShotBmp(dir.At("viewer.bmp"));
  ASSERT_EQ(withFonts.width, 240);
  EXPECT_GT(CountWord(withFonts, 0, 0, 240, 320, kNavy), 20);

  // The remembered folder would start the second run elsewhere.
  ASSERT_EQ(unlink(dir.At("registry.reg").c_str()), 0);
  ToolRun run = Run(script, {}, [fontConfig] { setenv("FONTCONFIG_FILE", fontConfig.c_str(), 1); });
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, normal.out);
  const Picture565 root = ReadShotBmp(dir.At("root.bmp"));
  const Picture565 pictures = ReadShotBmp(dir.At("pictures.bmp"));
  const Picture565 viewer = ReadShotBmp(dir.At("viewer.bmp"));
  ASSERT_EQ(root.width, 240);
  ASSERT_EQ(pictures.width, 240);
  ASSERT_EQ(viewer.width, 240);
  EXPECT_EQ(CountWord(root, 0, 0, 240, 320, kNavy), 0);
  EXPECT_EQ(CountWord(pictures, 0, 0, 240, 320, kNavy), 0);
  // Tiles, title bar and toolbar are drawn as with fonts.
  EXPECT_EQ(CountDifferences(root, 5, 25, ResourcePicture(113), 0, 0, 64, 64), 0);
  EXPECT_EQ(CountDifferences(root, 75, 25, ResourcePicture(104), 0, 0, 64, 64), 0);
  EXPECT_EQ(CountDifferences(root, 0, 0, ResourcePicture(107), 0, 0, 2, 20), 0);
  EXPECT_EQ(CountDifferences(root, 220, 0, ResourcePicture(106), 0, 40, 20, 20), 0);
  EXPECT_EQ(CountWord(root, 0, 92, 220, 228, kWhite), 220 * 228);
  EXPECT_EQ(CountDifferences(pictures, 75, 25, ResourcePicture(111), 0, 0, 64, 5), 0);
  // The viewer draws no text: the same picture either way.
  EXPECT_EQ(CountDifferences(viewer, 0, 0, viewerWithFonts, 0, 0, 240, 320), 0);
  EXPECT_GT(240 * 300 - CountWord(viewer, 0, 0, 240, 300, kBlack), 100 * 80);
}

TEST_F(FailureProgram, AFolderThatCannotBeListedShowsTheParentTileOnly) {
  dir.MakeFolder("root/Locked");
  dir.MakeFolder("root/Locked/Inside");
  chmod(dir.At("root/Locked").c_str(), 0);
  auto unprivileged = [] {
    if (!DropCapabilitiesForExec()) _exit(126);
  };
  // Root: Folder, Locked, Pictures.
  ToolRun run = Run("idle\nstate\ntap 110 60\nidle\nstate\n" + Shot("locked.bmp") +
                        "key 28\nkey 27\nstate\ntap 40 60\nidle\nstate\n",
                    {}, unprivileged);
  // Remembered, the folder cannot be listed at the next start: the root.
  ToolRun again = Run("idle\nstate\n", {}, unprivileged);
  chmod(dir.At("root/Locked").c_str(), 0755);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 4u) << run.out;
  EXPECT_EQ(states[0], (UiStateLine{.entryCount = 3, .folder = ""}));
  EXPECT_EQ(states[1], (UiStateLine{.entryCount = 1, .folder = "\\Locked"}));
  EXPECT_EQ(states[2], states[1]);
  EXPECT_EQ(states[3], (UiStateLine{.entryCount = 3, .folder = ""}));
  Picture565 shot = ReadShotBmp(dir.At("locked.bmp"));
  ASSERT_EQ(shot.width, 240);
  EXPECT_EQ(CountDifferences(shot, 5, 25, ResourcePicture(114), 0, 0, 64, 64), 0);
  EXPECT_EQ(CountWord(shot, 70, 20, 150, 300, kWhite), 150 * 300);
  EXPECT_EQ(CountWord(shot, 0, 92, 70, 228, kWhite), 70 * 228);
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(ParseStateLines(again.out), (std::vector<UiStateLine>{{.entryCount = 3, .folder = ""}}));
}

TEST_F(FailureProgram, AnEmptyRootShowsTitleAndCrossAndIgnoresKeysAndTaps) {
  TempDir empty;
  empty.MakeFolder("root");
  const std::string poke =
      "key 28\nkey 26\nkey 27\nkey 25\nkey 0d\nkey c1\nkey 2b\nkey 2d\nkey 28 repeat\n"
      "tap 40 60\ntap 230 30\ntap 230 310\npress 230 100\nwait 1000\nrelease 230 100\n"
      "wait 5000\nidle\n";
  ToolRun run = RunViewerScript(empty, "idle\nstate\n" + ("shot " + empty.At("before.bmp") + "\n") +
                                           poke + "state\n" + "shot " + empty.At("after.bmp") +
                                           "\n",
                                {});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 2u) << run.out;
  EXPECT_EQ(states[0], (UiStateLine{.entryCount = 0, .folder = ""}));
  EXPECT_EQ(states[1], states[0]);
  Picture565 before = ReadShotBmp(empty.At("before.bmp"));
  Picture565 after = ReadShotBmp(empty.At("after.bmp"));
  ASSERT_EQ(before.width, 240);
  EXPECT_EQ(CountDifferences(after, 0, 0, before, 0, 0, 240, 320), 0);
  Picture565 bar = ResourcePicture(107);
  EXPECT_EQ(CountDifferences(before, 0, 0, bar, 0, 0, 2, 20), 0);
  EXPECT_EQ(CountDifferences(before, 218, 0, bar, 18, 0, 2, 20), 0);
  EXPECT_EQ(CountDifferences(before, 220, 0, ResourcePicture(106), 0, 40, 20, 20), 0);
  EXPECT_EQ(CountWord(before, 0, 20, 240, 300, kWhite), 240 * 300);
  // Nothing was remembered.
  EXPECT_EQ(ReadHostFile(empty.At("registry.reg")).find("Dir"), std::string::npos);
}

// Waits until the viewer opens fifo for its screenshot, then runs act while
// the viewer is held inside that command, and gives back the screenshot.
// Fails (empty picture) when the viewer ends first.
Picture565 HoldAtShot(const ViewerChild& viewer, const std::string& fifo, const std::string& copy,
                      const std::function<void()>& act) {
  int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return Picture565();
  bool ready = false;
  for (int tries = 0; tries < 3000 && !ready; tries++) {
    pollfd p = {fd, POLLIN, 0};
    ready = poll(&p, 1, 10) == 1 && (p.revents & POLLIN);
    siginfo_t info = {};
    if (!ready && (waitid(P_PID, (id_t)viewer.pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                   info.si_pid != 0))
      break;
    if (!ready) usleep(1000);
  }
  std::string bytes;
  if (ready) {
    act();
    fcntl(fd, F_SETFL, 0);
    char buffer[8192];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, (size_t)n);
  }
  close(fd);
  if (bytes.empty()) return Picture565();
  FILE* f = fopen(copy.c_str(), "wb");
  if (!f) return Picture565();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return ReadShotBmp(copy);
}

int NonBlack(const Picture565& shot) {
  return 240 * 300 - CountWord(shot, 0, 0, 240, 300, kBlack);
}

TEST_F(FailureProgram, PicturesDeletedAfterTheScanShowBlackInTheViewerAndTheSlideShow) {
  // The script stops at each `shot` into a pipe until the test has deleted
  // files and read the screen: the scan and thumbnails are done by then.
  ASSERT_EQ(mkfifo(dir.At("hold1.bmp").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.At("hold2.bmp").c_str(), 0600), 0);
  ViewerChild viewer = Start(
      // \Pictures: parent, p00 to p04; p00 opens.
      "idle\ntap 110 60\nstate\n" + Shot("hold1.bmp") +
          // p01 was deleted: a black viewer with its buttons; p02 shows.
          "key 28\nstate\n" + Shot("deleted.bmp") + "key 28\nstate\n" + Shot("p02.bmp") +
          // The slide show, with p03 and p04 deleted once it runs: 16
          // ticks a step, through both and round to the start.
          "tap 210 310\nwait 250\n" + Shot("hold2.bmp") + "wait 4000\nstate\n" + Shot("p03.bmp") +
          "wait 4000\nstate\nwait 8000\nstate\n" +
          // Two Escapes: the show stops, the viewer is left for the grid.
          "key 1b\nkey 1b\nidle\nstate\n" + Shot("grid.bmp"),
      {"\\Pictures"});
  Picture565 first = HoldAtShot(viewer, dir.At("hold1.bmp"), dir.At("first.bmp"),
                                [this] { EXPECT_EQ(unlink(Picture(1).c_str()), 0); });
  Picture565 showing = HoldAtShot(viewer, dir.At("hold2.bmp"), dir.At("showing.bmp"), [this] {
    EXPECT_EQ(unlink(Picture(3).c_str()), 0);
    EXPECT_EQ(unlink(Picture(4).c_str()), 0);
  });
  // A viewer that never reached a hold would wait on it for ever.
  if (first.width == 0 || showing.width == 0) kill(viewer.pid, SIGKILL);
  ToolRun run = FinishViewer(viewer);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<UiStateLine> states = ParseStateLines(run.out);
  ASSERT_EQ(states.size(), 7u) << run.out;
  // The viewer, entered from entry 1: only the picture and the show change.
  auto viewing = [](int picture, int slideShow) {
    return UiStateLine{.gridMode = 0, .selection = 1, .currentPicture = picture,
                       .slideShow = slideShow, .entryCount = 6, .folder = "\\Pictures"};
  };
  EXPECT_EQ(states[0], viewing(1, 0));
  EXPECT_EQ(states[1], viewing(2, 0));
  EXPECT_EQ(states[2], viewing(3, 0));
  EXPECT_EQ(states[3], viewing(4, 1));
  EXPECT_EQ(states[4], viewing(5, 1));
  // Round the end: the first picture without a reload, then the deleted p01.
  EXPECT_EQ(states[5], viewing(2, 1));
  EXPECT_EQ(states[6], (UiStateLine{.selection = 2, .currentPicture = 2, .entryCount = 6,
                                    .folder = "\\Pictures"}));
  ASSERT_EQ(first.width, 240);
  ASSERT_EQ(showing.width, 240);
  EXPECT_GT(NonBlack(first), 100 * 80);
  EXPECT_GT(NonBlack(showing), 100 * 80);
  Picture565 deleted = ReadShotBmp(dir.At("deleted.bmp"));
  ASSERT_EQ(deleted.width, 240);
  EXPECT_EQ(NonBlack(deleted), 0);
  Picture565 strip = ResourcePicture(106);
  EXPECT_EQ(CountDifferences(deleted, 220, 300, strip, 0, 40, 20, 20), 0);
  EXPECT_GT(NonBlack(ReadShotBmp(dir.At("p02.bmp"))), 100 * 80);
  EXPECT_EQ(NonBlack(ReadShotBmp(dir.At("p03.bmp"))), 0);
  // Back in the grid, the deleted pictures keep the tiles of the scan.
  Picture565 grid = ReadShotBmp(dir.At("grid.bmp"));
  ASSERT_EQ(grid.width, 240);
  EXPECT_EQ(CountDifferences(grid, 5, 25, ResourcePicture(109), 0, 0, 64, 64), 0);
}

}  // namespace
