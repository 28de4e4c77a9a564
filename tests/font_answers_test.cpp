// The kept font answers in the cache folder, through the program itself,
// and the fallback fonts for characters the label font lacks, through the
// real fonts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/font_answers.h"
#include "platform/gdi.h"
#include "platform/rgb565.h"
#include "tests/support/run_tool.h"
#include "tests/support/screenshot.h"
#include "tests/support/temp_dir.h"

namespace {

const char kHeader[] = "korvane-viewer font answers 1";

// Points the programs this test starts at a cache folder of its own.
class CacheFolder {
 public:
  explicit CacheFolder(const std::string& path) : path_(path) {
    if (const char* old = getenv("XDG_CACHE_HOME")) previous_ = old;
    setenv("XDG_CACHE_HOME", path.c_str(), 1);
  }
  ~CacheFolder() {
    if (previous_.empty())
      unsetenv("XDG_CACHE_HOME");
    else
      setenv("XDG_CACHE_HOME", previous_.c_str(), 1);
  }
  std::string File() const { return path_ + "/korvane-viewer/fonts"; }

 private:
  std::string path_, previous_;
};

// One answer line as the program writes it.
std::string AnswerLine(const std::string& key, const std::string& path, long long sizeChange = 0) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "";
  return key + " 0 " + std::to_string((long long)st.st_size + sizeChange) + " " +
         std::to_string((long long)st.st_mtim.tv_sec) + " " +
         std::to_string((long long)st.st_mtim.tv_nsec) + " " + path + "\n";
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= line.size()) {
    size_t space = line.find(' ', at);
    if (space == std::string::npos) space = line.size();
    out.push_back(line.substr(at, space - at));
    at = space + 1;
  }
  return out;
}

TEST(FontAnswers, KeptAnswersHoldOnlyWhileTheirFontFileIsUnchanged) {
  TempDir dir;
  dir.MakeFolder("root");
  dir.MakeFolder("root/Pictures");
  CacheFolder cache(dir.At("cache"));
  auto shot = [&]() {
    ToolRun run = RunViewerScript(dir, "shot " + dir.At("s.bmp") + "\nquit\n", {});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return ReadShotBmp(dir.At("s.bmp"));
  };

  // A first run asks fontconfig and keeps its answer.
  const Picture565 plain = shot();
  ASSERT_EQ(plain.width, 240);
  std::vector<std::string> lines = Lines(ReadHostFile(cache.File()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], kHeader);
  std::vector<std::string> answer = Fields(lines[1]);
  ASSERT_EQ(answer.size(), 6u) << lines[1];
  const std::string key = answer[0], sans = answer[5];
  ASSERT_EQ(AnswerLine(key, sans), lines[1] + "\n");
  EXPECT_EQ(shot().words, plain.words);

  // A kept answer is trusted without asking fontconfig: another font file
  // with its true size and time draws the labels, and the file stays as is.
  const std::string serif =
      std::filesystem::path(sans).parent_path().string() + "/LiberationSerif-Regular.ttf";
  const std::string planted = std::string(kHeader) + "\n" + AnswerLine(key, serif);
  ASSERT_NE(AnswerLine(key, serif), "");
  dir.Write("cache/korvane-viewer/fonts", planted);
  EXPECT_NE(shot().words, plain.words);
  EXPECT_EQ(ReadHostFile(cache.File()), planted);

  // A changed font file, a damaged, truncated or foreign cache file, or a
  // relative path: ignored, fontconfig asked, the file written anew.
  const std::string damaged[] = {
      std::string(kHeader) + "\n" + AnswerLine(key, serif, 1),
      planted.substr(0, planted.size() / 2),
      "not a font answer at all\n",
      std::string(kHeader) + "\n" + key + " 0 1 2 3 relative/font.ttf\n",
      std::string(kHeader) + "\n" + key + " 0 x 2 3 " + serif + "\n",
      std::string(kHeader) + "\n" + AnswerLine(key, serif) + "stray line\n",
      std::string("\0\0\0\0", 4),
  };
  for (const std::string& bytes : damaged) {
    dir.Write("cache/korvane-viewer/fonts", bytes);
    EXPECT_EQ(shot().words, plain.words) << bytes;
    EXPECT_EQ(ReadHostFile(cache.File()), std::string(kHeader) + "\n" + lines[1] + "\n") << bytes;
  }
  // Each write went through a temporary file renamed over the old one.
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.At("cache/korvane-viewer")))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"fonts"});
}

// A white memory surface with a 12-pixel label font selected.
struct Label {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = nullptr;
  HFONT font = nullptr;
  uint16_t* bits = nullptr;
  static const int kWidth = 120, kHeight = 20;
  Label() {
    Rgb565Info info = MakeRgb565Info(kWidth, kHeight);
    info.header.biHeight = -kHeight;
    void* p = nullptr;
    bitmap = CreateDIBSection(dc, (BITMAPINFO*)&info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = (uint16_t*)p;
    SelectObject(dc, bitmap);
    LOGFONTW lf = {};
    lf.lfHeight = 12;
    lf.lfPitchAndFamily = FF_SWISS;
    wcscpy(lf.lfFaceName, L"Tahoma");
    font = CreateFontIndirectW(&lf);
    SelectObject(dc, font);
  }
  ~Label() {
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);
  }
  // The label's pixels, drawn anew on white.
  std::vector<uint16_t> Draw(const wchar_t* text) {
    RECT all = {0, 0, kWidth, kHeight};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    DrawTextW(dc, text, -1, &all, DT_NOPREFIX | DT_SINGLELINE);
    return std::vector<uint16_t>(bits, bits + kWidth * kHeight);
  }
};

int Ink(const std::vector<uint16_t>& pixels) {
  int n = 0;
  for (uint16_t p : pixels) n += p != 0xFFFF;
  return n;
}

TEST(FontFallback, CharactersTheLabelFontLacksDrawFromAFontThatHasThem) {
  Label label;
  // Unassigned code points: no font has them, each draws the label font's box.
  const std::vector<uint16_t> boxes = label.Draw(L"\x0378\x0378");
  ASSERT_GT(Ink(boxes), 0);
  EXPECT_EQ(label.Draw(L"\x0379\x0379"), boxes);
  // Chinese and Japanese: glyphs of their own, none of them the box.
  const std::vector<uint16_t> middleText = label.Draw(L"\x4E2D\x6587");
  const std::vector<uint16_t> textMiddle = label.Draw(L"\x6587\x4E2D");
  const std::vector<uint16_t> kana = label.Draw(L"\x30D5\x30A9");
  for (const auto* drawn : {&middleText, &textMiddle, &kana}) {
    EXPECT_GT(Ink(*drawn), 0);
    EXPECT_NE(*drawn, boxes);
  }
  EXPECT_NE(middleText, textMiddle);
  EXPECT_NE(middleText, kana);
  // Latin text beside them still comes from the label font.
  std::vector<uint16_t> mixed = label.Draw(L"A\x4E2D");
  std::vector<uint16_t> latin = label.Draw(L"A");
  int sameColumns = 0;
  for (int y = 0; y < Label::kHeight; y++)
    for (int x = 0; x < 6; x++)
      sameColumns += mixed[y * Label::kWidth + x] == latin[y * Label::kWidth + x];
  EXPECT_EQ(sameColumns, 6 * Label::kHeight);

  // The fallback answers are kept, each naming a font file that has them.
  SaveFontAnswers();
  std::string kept = ReadHostFile(FontAnswersPath());
  EXPECT_NE(kept.find("U+4E2D/"), std::string::npos) << kept;
  EXPECT_NE(kept.find("U+30D5/"), std::string::npos) << kept;
  EXPECT_EQ(kept.find("U+0378/"), std::string::npos) << kept;
}

}  // namespace
