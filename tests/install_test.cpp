// cmake --install into a scratch prefix: every file in its place, a desktop
// entry that validates, icons of the right sizes, and a manual page that
// lists every option the program prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

const int kIconSizes[] = {16, 32, 48, 64, 128, 256};
const char kDesktopValidator[] = "/usr/bin/desktop-file-validate";

// PNG signature, IHDR length, "IHDR": width and height follow, big-endian.
const unsigned char kPngStart[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                                   0, 0, 0, 13, 'I', 'H', 'D', 'R'};

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ToolRun run = RunProgram(VIEWER_CMAKE_COMMAND,
                             {"--install", VIEWER_TOOL_DIR, "--prefix", dir.At("prefix")}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  }
  std::string At(const std::string& name) const { return dir.At("prefix/" + name); }
  TempDir dir;
};

unsigned ReadBigEndian(const std::string& bytes, size_t at) {
  unsigned v = 0;
  for (size_t i = 0; i < 4; i++) v = (v << 8) | (unsigned char)bytes[at + i];
  return v;
}

// The man page as text: roff's escaped minus signs become plain ones.
std::string Unescaped(std::string roff) {
  for (size_t at; (at = roff.find("\\-")) != std::string::npos;) roff.erase(at, 1);
  return roff;
}

TEST_F(InstallTest, ProgramToolsEntryIconsAndManual) {
  for (const char* name : {"korvane-viewer", "korvane-decode", "korvane-list"})
    EXPECT_EQ(access(At(std::string("bin/") + name).c_str(), X_OK), 0) << name;
  // Build helpers, tests and benchmarks stay out.
  for (const char* name : {"viewer-icon", "viewer-sample", "viewer_tests", "decode_bench"})
    EXPECT_NE(access(At(std::string("bin/") + name).c_str(), F_OK), 0) << name;
  ToolRun version = RunProgram(At("bin/korvane-viewer"), {"--version"}, dir.path());
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_FALSE(version.out.empty());

  const std::string desktopPath = At("share/applications/korvane-viewer.desktop");
  std::vector<std::string> lines = Lines(ReadHostFile(desktopPath));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "[Desktop Entry]");
  for (size_t i = 1; i < lines.size(); i++)
    if (!lines[i].empty() && lines[i][0] != '#') {
      size_t equals = lines[i].find('=');
      EXPECT_TRUE(equals != std::string::npos && equals > 0) << "not a key=value line: " << lines[i];
    }
  auto has = [&](const std::string& line) {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  };
  EXPECT_TRUE(has("Exec=korvane-viewer --photos %f"));
  EXPECT_TRUE(has("Icon=korvane-viewer"));
  EXPECT_TRUE(has("MimeType=image/jpeg;image/png;image/gif;image/bmp;image/webp;image/heif;"
                  "image/heic;image/avif;image/tiff;inode/directory;"));
  if (access(kDesktopValidator, X_OK) == 0) {
    ToolRun check = RunProgram(kDesktopValidator, {desktopPath}, dir.path());
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_EQ(check.out + check.err, "");
  }

  for (int size : kIconSizes) {
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    SCOPED_TRACE(name);
    std::string png = ReadHostFile(At("share/icons/hicolor/" + name + "/apps/korvane-viewer.png"));
    ASSERT_GE(png.size(), 26u);
    EXPECT_EQ(png.compare(0, sizeof kPngStart, (const char*)kPngStart, sizeof kPngStart), 0);
    EXPECT_EQ(ReadBigEndian(png, 16), (unsigned)size);
    EXPECT_EQ(ReadBigEndian(png, 20), (unsigned)size);
    EXPECT_EQ(png[25], 6) << "colour type: RGBA";
  }

  std::string manual = ReadHostFile(At("share/man/man1/korvane-viewer.1"));
  EXPECT_EQ(manual.compare(0, 4, ".TH "), 0);
  for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES", "EXAMPLES"})
    EXPECT_NE(manual.find(std::string(".SH ") + section + "\n"), std::string::npos) << section;
}

TEST_F(InstallTest, ManualListsEveryOptionOfHelp) {
  ToolRun help = RunProgram(At("bin/korvane-viewer"), {"--help"}, dir.path());
  ASSERT_EQ(help.exitCode, 0) << help.err;
  const std::string manual = Unescaped(ReadHostFile(At("share/man/man1/korvane-viewer.1")));
  // Every "--word" of the usage text, and the operand it names.
  std::vector<std::string> options;
  for (size_t at = 0; (at = help.out.find("--", at)) != std::string::npos;) {
    size_t end = help.out.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 2);
    options.push_back(help.out.substr(at, end - at));
    at = end;
  }
  EXPECT_GE(options.size(), 10u) << help.out;
  options.push_back("PATH");
  EXPECT_NE(help.out.find("PATH"), std::string::npos);
  for (const std::string& option : options) {
    EXPECT_NE(manual.find(option), std::string::npos) << option << " is not in the manual";
    // Listed as a tagged paragraph of OPTIONS, not only mentioned.
    bool listed = manual.find("\n.BI " + option + " ") != std::string::npos ||
                  manual.find("\n.B " + option + "\n") != std::string::npos ||
                  manual.find("\n.I " + option + "\n") != std::string::npos;
    EXPECT_TRUE(listed) << option << " has no entry of its own";
  }
}

}  // namespace
