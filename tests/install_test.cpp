// cmake --install into a scratch prefix: every file in its place, a desktop
// entry and AppStream metadata that validate, icons of the right sizes drawn
// from one design, the licence, and a manual page that lists every option
// the program prints.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/resource.h"
#include "resources/icon_design.h"
#include "resources/version.h"
#include "tests/support/background.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

const int kIconSizes[] = {16, 32, 48, 64, 128, 256};
const char kDesktopValidator[] = "/usr/bin/desktop-file-validate";
const char kAppStreamValidator[] = "/usr/bin/appstreamcli";
// Sizes drawn from the icon's shapes rather than the resource's pixels.
const int kDrawnSizes[] = {48, 64, 128, 256};

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

// The text between <tag> and </tag> from at on, or "" when there is none.
std::string Element(const std::string& xml, const std::string& tag, size_t at = 0) {
  size_t open = xml.find("<" + tag + ">", at);
  if (open == std::string::npos) return "";
  open += tag.size() + 2;
  size_t close = xml.find("</" + tag + ">", open);
  return close == std::string::npos ? "" : xml.substr(open, close - open);
}

// An installed PNG as 0xAARRGGBB words; empty when it cannot be read.
std::vector<uint32_t> ReadPng(const std::string& path, int* size) {
  GError* error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
  std::vector<uint32_t> argb;
  if (!pixbuf) {
    g_clear_error(&error);
    return argb;
  }
  int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
  if (w == h && gdk_pixbuf_get_n_channels(pixbuf) == 4) {
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    *size = w;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        const guchar* p = pixels + (size_t)y * stride + (size_t)x * 4;
        argb.push_back((uint32_t)p[3] << 24 | (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2]);
      }
  }
  g_object_unref(pixbuf);
  return argb;
}

// The mean difference per channel of two ARGB pictures, colours weighted by
// their alpha so that invisible pixels do not count.
double MeanDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); i++)
    for (int shift = 0; shift < 32; shift += 8) {
      int ca = (int)(a[i] >> shift & 0xFF), cb = (int)(b[i] >> shift & 0xFF);
      if (shift < 24) ca = ca * (int)(a[i] >> 24) / 255, cb = cb * (int)(b[i] >> 24) / 255;
      sum += std::abs(ca - cb);
    }
  return sum / (a.size() * 4.0);
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

  // The window module in the library folder, found by the installed program:
  // with no video driver to be had it gets as far as SDL and reports no
  // display, not a missing module.
  EXPECT_EQ(access(At(std::string(VIEWER_MODULE_DIR) + "/korvane-viewer-sdl.so").c_str(), R_OK), 0);
  std::vector<std::string> env = EnvironmentWith({"SDL_VIDEODRIVER=no-such-driver"}, {});
  int windowExit = RunProcess({At("bin/korvane-viewer"), "--root", dir.path()}, env,
                              dir.At("window.out"), dir.At("window.err"));
  std::string windowErr = ReadHostFile(dir.At("window.err"));
  EXPECT_EQ(windowExit, 1) << windowErr;
  EXPECT_NE(windowErr.find("no display"), std::string::npos) << windowErr;
  EXPECT_EQ(windowErr.find("module"), std::string::npos) << windowErr;

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
  // The window's class (X11EndToEnd reads it), so docks match window and entry.
  EXPECT_TRUE(has("StartupWMClass=korvane-viewer"));
  // Every format the program opens; folders are the file manager's.
  EXPECT_TRUE(has("MimeType=image/jpeg;image/png;image/gif;image/bmp;image/webp;image/heif;"
                  "image/heic;image/avif;image/tiff;"));
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

  std::string svg = ReadHostFile(At("share/icons/hicolor/scalable/apps/korvane-viewer.svg"));
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("viewBox=\"0 0 32 32\""), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");

  const std::string license = ReadHostFile(At("share/doc/korvane-viewer/LICENSE"));
  EXPECT_EQ(license.compare(0, 12, "MIT License\n"), 0);
  EXPECT_NE(license.find("Copyright (c) 2026 the Korvane Viewer authors\n"), std::string::npos);

  std::string manual = ReadHostFile(At("share/man/man1/korvane-viewer.1"));
  EXPECT_EQ(manual.compare(0, 20, ".TH KORVANE-VIEWER 1"), 0);
  EXPECT_NE(manual.find("\n.SH NAME\nkorvane\\-viewer \\- "), std::string::npos);
  for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES", "EXAMPLES"})
    EXPECT_NE(manual.find(std::string(".SH ") + section + "\n"), std::string::npos) << section;
}

TEST_F(InstallTest, MetainfoNamesTheEntryTheReleaseAndScreenshots) {
  const std::string path = At("share/metainfo/korvane-viewer.metainfo.xml");
  const std::string xml = ReadHostFile(path);
  ASSERT_NE(xml, "");
  EXPECT_NE(xml.find("<component type=\"desktop-application\">"), std::string::npos);
  EXPECT_NE(xml.find("<launchable type=\"desktop-id\">korvane-viewer.desktop</launchable>"),
            std::string::npos);
  EXPECT_EQ(access(At("share/applications/korvane-viewer.desktop").c_str(), F_OK), 0);
  EXPECT_EQ(Element(xml, "project_license"), "MIT");
  EXPECT_EQ(Element(xml, "binary"), "korvane-viewer");
  // The newest release is the version the program prints.
  const std::wstring version = kVersionText;
  const std::string release = "<release version=\"" + std::string(version.begin(), version.end()) + "\"";
  EXPECT_NE(xml.find(release), std::string::npos) << release;
  ToolRun printed = RunProgram(At("bin/korvane-viewer"), {"--version"}, dir.path());
  EXPECT_EQ(printed.out, "Korvane Viewer " + std::string(version.begin(), version.end()) + "\n");
  // Two screenshots, each a PNG of the repository's docs/screenshots.
  int shots = 0;
  for (size_t at = 0; (at = xml.find("<screenshot", at)) != std::string::npos; at++) {
    if (xml.compare(at, 12, "<screenshots") == 0) continue;
    shots++;
    std::string image = xml.substr(xml.find(">", xml.find("<image", at)) + 1);
    image = image.substr(0, image.find("</image>"));
    EXPECT_EQ(image.compare(0, 8, "https://"), 0) << image;
    EXPECT_NE(image.find("/docs/screenshots/"), std::string::npos) << image;
    EXPECT_EQ(image.substr(image.size() - 4), ".png") << image;
  }
  EXPECT_EQ(shots, 2);
  if (access(kAppStreamValidator, X_OK) == 0) {
    ToolRun check = RunProgram(kAppStreamValidator, {"validate", "--no-net", path}, dir.path());
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  }
}

TEST_F(InstallTest, LargeIconsAreDrawnFromTheDesignNotBlownUp) {
  // The design drawn at the resource's size is the resource icon, up to
  // the edges' anti-aliasing and the 16-bit palette.
  std::vector<uint32_t> drawn(32 * 32), resource(32 * 32);
  ASSERT_TRUE(DrawIconDesign(32, drawn.data()));
  ASSERT_TRUE(PlatformIconPixels(MAKEINTRESOURCEW(101), 32, resource.data()));
  EXPECT_LT(MeanDifference(drawn, resource), 12.0);
  EXPECT_EQ(DrawIconDesign(0, drawn.data()), 0);
  EXPECT_EQ(DrawIconDesign(1025, drawn.data()), 0);

  for (int size : kDrawnSizes) {
    SCOPED_TRACE(size);
    const std::string name = std::to_string(size) + "x" + std::to_string(size);
    int read = 0;
    std::vector<uint32_t> png = ReadPng(At("share/icons/hicolor/" + name + "/apps/korvane-viewer.png"), &read);
    ASSERT_EQ(read, size);
    std::vector<uint32_t> expected((size_t)size * size);
    ASSERT_TRUE(DrawIconDesign(size, expected.data()));
    EXPECT_TRUE(png == expected) << "the installed icon is not the design at its size";
    // A blown-up 32 x 32 picture is made of equal blocks; the drawing has
    // edges inside them.
    const int block = size / 32;
    int split = 0;
    for (int y = 0; y + block <= size; y += block)
      for (int x = 0; x + block <= size; x += block)
        for (int i = 0; i < block * block; i++)
          if (png[(size_t)(y + i / block) * size + x + i % block] != png[(size_t)y * size + x]) {
            split++;
            break;
          }
    if (block > 1) {
      EXPECT_GT(split, 32) << "blocks of " << block << " pixels hold one colour";
    }
  }
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
