// Scripts as the program reads them: a script that cannot be read is a
// usage error, and a script of millions of lines is checked whole before
// anything runs, then run line by line without being held in memory.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/support/run_tool.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/viewer_child.h"

namespace {

const int kLongScriptLines = 5000000;
// Address space for the program: a few times what it needs, far below what
// holding 5 million commands took (about 480 MB).
const rlim_t kAddressSpaceBytes = 320ull << 20;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool kSanitized = true;  // the sanitizers reserve terabytes of addresses
#else
const bool kSanitized = false;
#endif

class HeadlessScript : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Empty");
    dir.MakeFolder("root/Pictures");
    dir.MakeFolder("root/Pictures/Trips");
  }
  ToolRun Run(const std::string& script, const std::function<void()>& setup = nullptr) {
    return FinishViewer(StartViewer({"--headless", "--root", dir.At("root"), "--registry",
                                     dir.At("registry.reg"), "--script", script},
                                    setup));
  }
  // lines of "wait 0" written a block at a time, then last.
  std::string WriteLongScript(const std::string& name, const std::string& last) {
    const std::string block = [] {
      std::string b;
      for (int i = 0; i < 1000; i++) b += "wait 0\n";
      return b;
    }();
    const std::string path = dir.At(name);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return "";
    for (int i = 0; i < kLongScriptLines / 1000; i++) fwrite(block.data(), 1, block.size(), f);
    fputs(last.c_str(), f);
    return fclose(f) == 0 ? path : "";
  }
  TempDir dir;
};

TEST_F(HeadlessScript, ScriptsThatCannotBeReadAreUsageErrors) {
  dir.MakeFolder("a folder");
  for (const std::string& script : {dir.At("a folder"), dir.At("missing.txt")}) {
    ToolRun run = Run(script);
    EXPECT_EQ(run.exitCode, 2) << script;
    EXPECT_NE(run.err.find("cannot read the script"), std::string::npos) << script << run.err;
    EXPECT_EQ(run.out, "") << script;
  }
}

TEST_F(HeadlessScript, MillionsOfLinesAreCheckedWholeThenRunLineByLine) {
  // A bad last line stops the run before the first line does anything: no
  // folder is entered, so nothing is remembered.
  const std::string bad = WriteLongScript("bad.txt", "tap 110 60\nidle\nstate\ntap 10\n");
  ASSERT_NE(bad, "");
  ToolRun refused = Run(bad);
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("line " + std::to_string(kLongScriptLines + 4)), std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(ReadHostFile(dir.At("registry.reg")), "");

  const std::string good = WriteLongScript("good.txt", "tap 110 60\nidle\nstate\n");
  ASSERT_NE(good, "");
  ToolRun run = Run(good, [] {
    if (kSanitized) return;
    struct rlimit limit = {kAddressSpaceBytes, kAddressSpaceBytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
  });
  EXPECT_EQ(run.exitCode, 0) << run.err.substr(0, 200);
  EXPECT_EQ(ParseStateLines(run.out),
            (std::vector<UiStateLine>{{.entryCount = 2, .folder = "\\Pictures"}}));
}

}  // namespace
