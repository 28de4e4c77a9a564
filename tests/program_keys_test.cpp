// Keys through the whole program: headless scripts check the repeat timing,
// the keys that quit, and each device's button rules given by --oem-info.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/state_line.h"
#include "tests/support/temp_dir.h"

namespace {

const int kPictures = 12;

class ProgramKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    // The root holds pictures only: no parent tile, and entry 0 is a picture.
    dir.MakeFolder("root");
    JpegSampleOptions o;
    o.width = 48;
    o.height = 36;
    for (int i = 0; i < kPictures; i++) {
      o.seed = (unsigned)i + 1;
      std::string name = "root/p" + std::to_string(10 + i) + ".jpg";
      ASSERT_EQ(WriteJpegSample(dir.At(name).c_str(), o), 1);
    }
  }
  ToolRun Run(const std::string& script, std::vector<std::string> args = {}) {
    return RunViewerScript(dir, script, args);
  }
  // The state line of the grid at the root with the selection at index sel.
  static UiStateLine Grid(int sel) {
    return {.selection = sel, .entryCount = kPictures, .folder = ""};
  }
  TempDir dir;
};

TEST_F(ProgramKeys, RepeatsCloserThan100MsToTheLastKeyAreDropped) {
  ToolRun run = Run(
      "idle\n"
      "key 27\nkey 27 repeat\nstate\n"  // the clock stood still: dropped
      "wait 100\nkey 27 repeat\nstate\n"
      "wait 99\nkey 27 repeat\nstate\n"
      "wait 1\nkey 27 repeat\nstate\n"
      // A fresh press is never held back.
      "key 27\nstate\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ParseStateLines(run.out),
            (std::vector<UiStateLine>{Grid(1), Grid(2), Grid(2), Grid(3), Grid(4)}));
}

TEST_F(ProgramKeys, DroppedKeysKeepTheTimingAndKeysWithoutActionRestartIt) {
  ToolRun run = Run(
      "idle\nkey 27\n"
      // Dropped by the rules of every device: 120 ms after the last key taken.
      "wait 60\nkey 5b\nwait 60\nkey 27 repeat\nstate\n"
      // 0xC3 does nothing but is taken: 60 ms after it is too soon.
      "wait 60\nkey c3\nwait 60\nkey 27 repeat\nstate\n"
      // A held Escape does not quit, but it too is taken.
      "wait 150\nkey 1b repeat\nwait 60\nkey 27 repeat\nstate\n"
      "wait 40\nkey 27 repeat\nstate\n"
      "key 1b\nstate\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ParseStateLines(run.out), (std::vector<UiStateLine>{Grid(2), Grid(2), Grid(2), Grid(3)}));
}

TEST_F(ProgramKeys, EscapeAndTheCloseButtonQuitWhenPressedNotWhenHeld) {
  for (const char* key : {"1b", "c4"}) {
    std::string k = key;
    ToolRun run = Run("idle\nkey " + k + " repeat\nwait 200\nkey " + k + " repeat\nstate\n" +
                      "wait 200\nkey " + k + "\nstate\n");
    ASSERT_EQ(run.exitCode, 0) << key << run.err;
    EXPECT_EQ(ParseStateLines(run.out), std::vector<UiStateLine>{Grid(0)}) << key;
  }
  // Without a key the script's end closes the window after both lines.
  ToolRun idle = Run("idle\nstate\nwait 200\nstate\n");
  ASSERT_EQ(idle.exitCode, 0) << idle.err;
  EXPECT_EQ(Lines(idle.out).size(), 2u);
}

TEST_F(ProgramKeys, EachDeviceRuleActsAsTheCodeItMapsTo) {
  // One probe shows what a key does: the selection moves to 3, the key comes
  // 60 ms later, and a repeat 60 ms after that passes only when the key was
  // dropped by the rules. Quitting cuts the state line.
  auto probe = [&](const std::string& key, const std::string& oem) {
    std::vector<std::string> args;
    if (!oem.empty()) args = {"--oem-info", oem};
    ToolRun run =
        Run("idle\nkey 28\nwait 60\nkey " + key + "\nwait 60\nkey 27 repeat\nstate\n", args);
    EXPECT_EQ(run.exitCode, 0) << key << " " << oem << run.err;
    return run.out;
  };
  // Without a model name: what each code the rules produce does. These
  // must all differ for the comparisons below to mean anything.
  const char* references[] = {"5b", "c3", "26", "28", "c1", "c2", "c4"};
  std::map<std::string, std::string> plain;
  for (const char* key : references) {
    std::string out = probe(key, "");
    for (const auto& [other, seen] : plain) ASSERT_NE(out, seen) << key << " and " << other;
    plain[key] = out;
  }
  EXPECT_EQ(ParseStateLines(plain["5b"]), std::vector<UiStateLine>{Grid(4)});
  EXPECT_EQ(ParseStateLines(plain["c3"]), std::vector<UiStateLine>{Grid(3)});
  EXPECT_EQ(plain["c4"], "");

  struct Rule {
    const char* oem;
    const char* key;
    const char* actsAs;
  };
  const Rule rules[] = {
      {"", "84", "5b"},
      {"", "ca", "c3"},
      {"hp iPAQ hx4700", "ca", "c4"},
      {"hp iPAQ hx4700", "cb", "c1"},
      {"hp iPAQ hx4700", "cc", "c2"},
      {"ASUS MyPal A730", "c5", "c1"},
      {"ASUS MyPal A730", "c8", "c4"},
      {"ASUS MyPal A730", "c9", "c3"},
      {"ASUS MyPal A730", "d1", "5b"},
      {"ASUS MyPal A730", "ca", "c3"},
      {"Pocket LOOX 720", "c8", "c2"},
      {"Pocket LOOX 720", "ca", "c4"},
      {"hp iPAQ hw6515", "10", "5b"},
      {"hp iPAQ hw6515", "72", "c1"},
      {"hp iPAQ hw6515", "73", "c4"},
      {"hp iPAQ hw6515", "75", "26"},
      {"hp iPAQ hw6515", "c3", "5b"},
      {"hp iPAQ hw6515", "c4", "5b"},
      {"hp iPAQ hw6515", "ca", "c2"},
      {"Dell Axim X50", "c5", "c3"},
      {"Dell Axim X30", "c5", "c4"},
      {"Dell Axim X30", "c4", "c3"},
      {"Dell Axim X30", "c2", "c1"},
  };
  for (const Rule& r : rules)
    EXPECT_EQ(probe(r.key, r.oem), plain[r.actsAs]) << r.oem << ": " << r.key << " as " << r.actsAs;
}

TEST_F(ProgramKeys, OemInfoTakesAtMost49Characters) {
  const std::string script = "idle\nkey ca\nstate\n";
  ToolRun fits = Run(script, {"--oem-info", std::string(37, 'x') + "hp iPAQ hx47"});
  ASSERT_EQ(fits.exitCode, 0) << fits.err;
  EXPECT_EQ(fits.out, "");  // 0xCA became the close button
  // Characters, not bytes: 49 two-byte letters fit, 50 letters do not.
  std::string wide;
  for (int i = 0; i < 49; i++) wide += "\xC3\xA9";
  EXPECT_EQ(Run(script, {"--oem-info", wide}).exitCode, 0);
  for (const std::string& tooLong : {std::string(50, 'x'), wide + "x"}) {
    ToolRun run = Run(script, {"--oem-info", tooLong});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--oem-info"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
