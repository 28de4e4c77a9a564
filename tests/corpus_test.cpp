// Every picture of the third-party corpus through LoadPicture, as a viewer
// load on a 240 x 320 screen and as a thumbnail, against its manifest row.
// Each file gets one expectation naming it, so a run lists all mismatches.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/picture.h"
#include "platform/files.h"
#include "platform/gdi.h"

namespace {

const int kScreenWidth = 240;
const int kScreenHeight = 320;
const int kThumbnail = 54;
const int kViewerMax = 5120;
const long kThumbnailFileLimit = 1048576;

struct Row {
  std::string path, format, expected;
  int width = 0, height = 0;
};

std::vector<Row> ReadManifest() {
  std::vector<Row> rows;
  std::ifstream in(std::string(VIEWER_CORPUS_DIR) + "/manifest.tsv");
  std::string line;
  if (!std::getline(in, line)) return rows;  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) f.push_back(cell);
    if (f.size() < 5) continue;
    Row r;
    r.path = f[0];
    r.format = f[1];
    r.width = atoi(f[2].c_str());
    r.height = atoi(f[3].c_str());
    r.expected = f[4];
    rows.push_back(r);
  }
  return rows;
}

struct Size {
  int width, height;
};

// The JPEG path's sizing, written out here from the rules rather than taken
// from the decoder: a divisor n that brings the picture within the bound
// (turned for a landscape picture larger than the screen), the library scale
// from it (thumbnails the largest of 1/1, 1/2, 1/4, 1/8 not above n, the
// viewer the largest not above n / 2), the library rounding up, then a step
// of sixteenths until the result fits. FIT_SCREEN_FINE for the viewer.
Size JpegSize(int w, int h, bool thumbnail) {
  const int boundW = thumbnail ? kThumbnail : kScreenWidth;
  const int boundH = thumbnail ? kThumbnail : kScreenHeight;
  auto over = [&](int a, int b) { return a > boundW || b > boundH; };
  const bool swap = !thumbnail && w > h && (w > kScreenWidth || h > kScreenHeight);
  const int across = swap ? h : w, down = swap ? w : h;
  int n = 1;
  while (over(across / n, down / n)) n++;
  const int m = thumbnail ? n : n / 2;
  const int d = m >= 8 ? 8 : m >= 4 ? 4 : m >= 2 ? 2 : 1;
  const int ow = (w + d - 1) / d, oh = (h + d - 1) / d;
  const bool turn = !thumbnail && ow > oh && (ow > kScreenWidth || oh > kScreenHeight);
  const int fw = turn ? oh : ow, fh = turn ? ow : oh;
  int s = 16;
  while (over(fw * 16 / s, fh * 16 / s)) s++;
  return {fw * 16 / s, fh * 16 / s};
}

// A platform-decoded thumbnail: unchanged when it fits, else the longer
// side 54 and the aspect kept within a pixel.
bool PlatformThumbnailFits(Size got, int w, int h) {
  if (w <= kThumbnail && h <= kThumbnail) return got.width == w && got.height == h;
  if (std::max(got.width, got.height) != kThumbnail || std::min(got.width, got.height) < 1)
    return false;
  return std::abs((long)got.width * h - (long)got.height * w) <= std::max(w, h);
}

std::wstring Device(const std::string& path) {
  std::wstring out = L"\\";
  for (char c : path) out += c == '/' ? L'\\' : (wchar_t)(unsigned char)c;
  return out;
}

// Loads, notes the size (0 x 0 for none) and releases the bitmap.
Size LoadSize(const Row& row, bool thumbnail) {
  HBITMAP h = LoadPicture(nullptr, Device(row.path).c_str(), thumbnail ? 1 : 0,
                          thumbnail ? FIT_SCREEN_WHOLE : FIT_SCREEN_FINE);
  Size s = {0, 0};
  BITMAP bm = {};
  if (h && GetObject(h, sizeof(bm), &bm) == (int)sizeof(bm)) s = {bm.bmWidth, bm.bmHeight};
  if (h) DeleteObject(h);
  return s;
}

std::string Text(Size s) {
  return s.width ? std::to_string(s.width) + "x" + std::to_string(s.height) : "none";
}

long FileSize(const std::string& path) {
  struct stat st;
  std::string host = std::string(VIEWER_CORPUS_DIR) + "/" + path;
  return stat(host.c_str(), &st) == 0 ? (long)st.st_size : -1;
}

// What is wrong with one file's two loads, or "" when nothing is.
std::string Check(const Row& row, Size viewer, Size thumb) {
  const bool jpeg = row.format == "jpeg";
  std::string got = " (viewer " + Text(viewer) + ", thumbnail " + Text(thumb) + ")";
  if (row.expected == "fail") {
    if (viewer.width || thumb.width) return "decoded but should fail" + got;
    return "";
  }
  if (row.expected == "either") {
    // Either way, but a bitmap must keep to the bounds.
    int maxW = jpeg ? kScreenWidth : kViewerMax, maxH = jpeg ? kScreenHeight : kViewerMax;
    if (viewer.width > maxW || viewer.height > maxH ||
        std::max(thumb.width, thumb.height) > kThumbnail)
      return "out of bounds" + got;
    return "";
  }
  if (jpeg) {
    Size v = JpegSize(row.width, row.height, false);
    Size t = JpegSize(row.width, row.height, true);
    if (FileSize(row.path) > kThumbnailFileLimit) t = {0, 0};
    if (!v.width || !v.height) v = {0, 0};
    if (!t.width || !t.height) t = {0, 0};
    if (viewer.width != v.width || viewer.height != v.height || thumb.width != t.width ||
        thumb.height != t.height)
      return "expected viewer " + Text(v) + ", thumbnail " + Text(t) + got;
    return "";
  }
  if (viewer.width != row.width || viewer.height != row.height)
    return "viewer size should be " + std::to_string(row.width) + "x" +
           std::to_string(row.height) + got;
  if (!PlatformThumbnailFits(thumb, row.width, row.height)) return "thumbnail does not fit" + got;
  return "";
}

class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    // A missing corpus is a failure, never a skip.
    ASSERT_TRUE(PlatformSetDeviceRoot(VIEWER_CORPUS_DIR)) << "no corpus at " << VIEWER_CORPUS_DIR;
    rows = ReadManifest();
    ASSERT_GT(rows.size(), 700u) << "manifest missing or short at " << VIEWER_CORPUS_DIR;
    PlatformSetScreenSize(kScreenWidth, kScreenHeight);
    liveAtStart = PlatformLiveObjectCount();
  }
  void TearDown() override { EXPECT_EQ(PlatformLiveObjectCount(), liveAtStart); }

  // Runs the rows of the given kind; returns how many there were.
  int Run(bool jpeg) {
    int count = 0;
    for (const Row& row : rows) {
      if ((row.format == "jpeg") != jpeg) continue;
      count++;
      Size viewer = LoadSize(row, false);
      Size thumb = LoadSize(row, true);
      std::string problem = Check(row, viewer, thumb);
      EXPECT_TRUE(problem.empty()) << row.path << " [" << row.expected << "]: " << problem;
    }
    return count;
  }

  std::vector<Row> rows;
  int liveAtStart = 0;
};

TEST(CorpusSizing, MatchesTheWorkedExamples) {
  // Checks the test's own sizing against hand-worked cases.
  EXPECT_EQ(JpegSize(1600, 1200, false).width, 240);
  EXPECT_EQ(JpegSize(1600, 1200, false).height, 320);
  EXPECT_EQ(JpegSize(640, 480, true).width, 53);
  EXPECT_EQ(JpegSize(640, 480, true).height, 40);
  EXPECT_EQ(JpegSize(1600, 1200, true).width, 54);
  EXPECT_EQ(JpegSize(1600, 1200, true).height, 40);
  EXPECT_EQ(JpegSize(320, 240, false).width, 240);
  EXPECT_EQ(JpegSize(320, 240, false).height, 320);
  EXPECT_EQ(JpegSize(100, 80, false).width, 100);
}

TEST_F(Corpus, PngGifAndBmpFiles) { EXPECT_GT(Run(false), 400); }

TEST_F(Corpus, JpegFiles) { EXPECT_GT(Run(true), 250); }

}  // namespace
