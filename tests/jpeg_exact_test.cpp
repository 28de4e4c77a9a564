// The decode tool's BMP output against the reference, byte for byte, and the
// sizing passes against known edge cases.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/jpeg_sizing.h"
#include "imaging/picture.h"
#include "samples/jpeg_samples.h"
#include "tests/support/jpeg_reference.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"


namespace {

// Edge cases on a 240 x 320 screen, worked out by hand.
struct EdgeRow {
  int w, h;
  bool thumbnail;
  int fit;
  int n, denom, ow, oh;
  bool rotated;
  int s, fw, fh;
};

const EdgeRow kEdgeRows[] = {
    {240, 320, false, FIT_SCREEN_WHOLE, 1, 1, 240, 320, false, 16, 240, 320},
    {320, 240, false, FIT_SCREEN_WHOLE, 1, 1, 320, 240, true, 16, 240, 320},
    {1600, 1200, false, FIT_SCREEN_WHOLE, 5, 2, 800, 600, true, 48, 200, 266},
    {1600, 1200, false, FIT_SCREEN_FINE, 5, 2, 800, 600, true, 40, 240, 320},
    {1200, 1600, false, FIT_SCREEN_WHOLE, 5, 2, 600, 800, false, 48, 200, 266},
    {1600, 1200, false, FIT_LARGE, 2, 1, 1600, 1200, true, 25, 768, 1024},
    {2048, 1536, false, FIT_LARGE, 2, 1, 2048, 1536, true, 32, 768, 1024},
    {100, 80, false, FIT_LARGE, 1, 1, 100, 80, false, 16, 100, 80},
    {100, 80, false, FIT_SCREEN_WHOLE, 1, 1, 100, 80, false, 16, 100, 80},
    {100, 80, false, FIT_SCREEN_FINE, 1, 1, 100, 80, false, 16, 100, 80},
    {640, 480, true, FIT_SCREEN_WHOLE, 12, 8, 80, 60, false, 24, 53, 40},
    {1600, 1200, true, FIT_SCREEN_WHOLE, 30, 8, 200, 150, false, 59, 54, 40},
    {400, 300, false, FIT_LARGE, 1, 1, 400, 300, true, 16, 300, 400},
};

std::string Describe(const EdgeRow& r) {
  std::ostringstream s;
  s << r.w << "x" << r.h << (r.thumbnail ? " thumbnail" : " fit ") << (r.thumbnail ? "" : std::to_string(r.fit));
  return s.str();
}

TEST(JpegSizing, EdgeCases) {
  for (const EdgeRow& r : kEdgeRows) {
    SCOPED_TRACE(Describe(r));
    JpegRequest req = {r.thumbnail, r.fit, 240, 320};
    int n = -1;
    EXPECT_EQ(ChooseLibraryScale(req, r.w, r.h, &n), r.denom);
    EXPECT_EQ(n, r.n);
    JpegOutputSize out = ChooseOutputSize(req, r.ow, r.oh);
    EXPECT_EQ(out.rotated, r.rotated);
    EXPECT_EQ(out.step, r.s);
    EXPECT_EQ(out.width, r.fw);
    EXPECT_EQ(out.height, r.fh);
  }
}

TEST(JpegSizing, ThinThumbnailReducesToZero) {
  JpegRequest req = {true, FIT_SCREEN_WHOLE, 240, 320};
  int n = 0;
  int denom = ChooseLibraryScale(req, 2000, 1, &n);
  EXPECT_EQ(denom, 8);
  JpegOutputSize out = ChooseOutputSize(req, (2000 + denom - 1) / denom, 1);
  EXPECT_LE(out.width, 54);
  EXPECT_EQ(out.height, 0);
}

// How each sample file is made; cutPercent > 0 keeps only that share of it.
struct SampleFile {
  const char* name;
  int width, height;
  int components;
  int lumaH, lumaV;
  bool progressive;
  int cutPercent;
};

const SampleFile kSamples[] = {
    {"p240x320.jpg", 240, 320, 3, 2, 2, false, 0},
    {"p320x240.jpg", 320, 240, 3, 2, 2, false, 0},
    {"p1600x1200.jpg", 1600, 1200, 3, 2, 2, false, 0},
    {"p1200x1600.jpg", 1200, 1600, 3, 2, 2, false, 0},
    {"p2048x1536.jpg", 2048, 1536, 3, 2, 2, false, 0},
    {"p100x80.jpg", 100, 80, 3, 2, 2, false, 0},
    {"p640x480.jpg", 640, 480, 3, 2, 2, false, 0},
    {"p400x300.jpg", 400, 300, 3, 2, 2, false, 0},
    {"prog640x480_422.jpg", 640, 480, 3, 2, 1, true, 0},
    {"prog1600x1200.jpg", 1600, 1200, 3, 2, 2, true, 0},
    {"s444_800x600.jpg", 800, 600, 3, 1, 1, false, 0},
    {"s422_1001x751.jpg", 1001, 751, 3, 2, 1, false, 0},
    {"odd241x179.jpg", 241, 179, 3, 2, 2, false, 0},
    {"odd101x81.jpg", 101, 81, 3, 1, 1, true, 0},
    {"odd999x1333.jpg", 999, 1333, 3, 2, 2, false, 0},
    {"grey500x375.jpg", 500, 375, 1, 1, 1, false, 0},
    {"cmyk300x200.jpg", 300, 200, 4, 1, 1, false, 0},
    {"cut_base.jpg", 320, 256, 3, 2, 2, false, 55},
    {"cut_prog.jpg", 640, 480, 3, 2, 2, true, 40},
    {"thin2000x1.jpg", 2000, 1, 3, 2, 2, false, 0},
};

class JpegExact : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = new TempDir(); }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
    made_.clear();
  }

  // Host path of a sample, written the first time it is asked for.
  static std::string Sample(const std::string& name) {
    std::string path = dir_->At(name);
    if (made_.count(name)) return path;
    if (name == "notjpeg.jpg") {
      dir_->Write(name, "GIF89a this is not a JPEG file at all");
      made_[name] = true;
      return path;
    }
    for (const SampleFile& s : kSamples) {
      if (name != s.name) continue;
      JpegSampleOptions o;
      o.width = s.width;
      o.height = s.height;
      o.components = s.components;
      o.lumaH = s.lumaH;
      o.lumaV = s.lumaV;
      o.progressive = s.progressive;
      o.seed = (unsigned)(s.width * 31 + s.height);
      EXPECT_EQ(WriteJpegSample(path.c_str(), o), 1) << name;
      if (s.cutPercent > 0) {
        std::string bytes = ReadHostFile(path);
        dir_->Write(name, bytes.substr(0, bytes.size() * s.cutPercent / 100));
      }
      made_[name] = true;
      return path;
    }
    ADD_FAILURE() << "no sample named " << name;
    return path;
  }

  struct ToolResult {
    int exitCode = -1;
    std::string printed;
    std::vector<uint8_t> bmp;
    bool wroteBmp = false;
  };

  // Runs korvane-decode with the given options on a sample.
  static ToolResult RunTool(const std::string& input, bool thumbnail, int fit, int sw, int sh,
                            unsigned seed) {
    const std::string bmpPath = dir_->At("out.bmp");
    unlink(bmpPath.c_str());
    std::vector<std::string> args;
    if (thumbnail) args.push_back("--thumbnail");
    args.insert(args.end(), {"--fit", std::to_string(fit), "--screen",
                             std::to_string(sw) + "x" + std::to_string(sh), "--seed",
                             std::to_string(seed), input, bmpPath});
    ToolRun run = ::RunTool("korvane-decode", args, dir_->path());
    ToolResult result;
    if (run.exitCode == -1) ADD_FAILURE() << "korvane-decode did not run";
    result.exitCode = run.exitCode;
    result.printed = run.out;
    FILE* f = fopen(bmpPath.c_str(), "rb");
    if (f) {
      result.wroteBmp = true;
      int c;
      while ((c = fgetc(f)) != EOF) result.bmp.push_back((uint8_t)c);
      fclose(f);
    }
    return result;
  }

  // "" when equal, else where the first difference lies.
  static std::string FirstDifference(const std::vector<uint8_t>& got,
                                     const std::vector<uint8_t>& want, const RefPicture& ref) {
    if (got.size() != want.size())
      return "file is " + std::to_string(got.size()) + " bytes, expected " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); i++) {
      if (got[i] == want[i]) continue;
      std::ostringstream s;
      const size_t pixelStart = want.size() - ref.words.size() * 2;
      if (i < pixelStart) {
        s << "header byte " << i << " is " << (int)got[i] << ", expected " << (int)want[i];
      } else {
        size_t word = (i - pixelStart) / 2;
        size_t memRow = word / ref.rowWords;
        size_t x = word % ref.rowWords;
        size_t at = pixelStart + word * 2;
        s << "pixel x " << x << " of picture row " << (ref.height - 1 - (int)memRow) << ": 0x"
          << std::hex << (got[at] | got[at + 1] << 8) << ", expected 0x" << (want[at] | want[at + 1] << 8);
      }
      return s.str();
    }
    return "";
  }

  // Tool against reference for one request; returns the reference.
  static RefPicture CheckExact(const std::string& name, bool thumbnail, int fit, int sw, int sh,
                               unsigned seed) {
    const std::string input = Sample(name);
    RefRequest req;
    req.thumbnail = thumbnail;
    req.fitMode = fit;
    req.screenWidth = sw;
    req.screenHeight = sh;
    srand(seed);
    RefPicture ref = ReferenceJpegDecode(input, req);
    ToolResult run = RunTool(input, thumbnail, fit, sw, sh, seed);
    if (!ref.made) {
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_FALSE(run.wroteBmp);
      EXPECT_EQ(run.printed, "");
      return ref;
    }
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.printed, std::to_string(ref.width) + "x" + std::to_string(ref.height) + "\n");
    EXPECT_EQ(FirstDifference(run.bmp, ReferenceBmpFile(ref), ref), "");
    return ref;
  }

  static TempDir* dir_;
  static std::map<std::string, bool> made_;
};

TempDir* JpegExact::dir_ = nullptr;
std::map<std::string, bool> JpegExact::made_;

TEST_F(JpegExact, EdgeCases) {
  unsigned seed = 100;
  for (const EdgeRow& r : kEdgeRows) {
    SCOPED_TRACE(Describe(r));
    std::string name = "p" + std::to_string(r.w) + "x" + std::to_string(r.h) + ".jpg";
    RefPicture ref = CheckExact(name, r.thumbnail, r.fit, 240, 320, seed++);
    // The reference itself must agree with the hand-worked numbers.
    ASSERT_TRUE(ref.made);
    EXPECT_EQ(ref.divisor, r.n);
    EXPECT_EQ(ref.denom, r.denom);
    EXPECT_EQ(ref.libraryWidth, r.ow);
    EXPECT_EQ(ref.libraryHeight, r.oh);
    EXPECT_EQ(ref.rotated, r.rotated);
    EXPECT_EQ(ref.step, r.s);
    EXPECT_EQ(ref.width, r.fw);
    EXPECT_EQ(ref.height, r.fh);
  }
}

struct VariantCase {
  const char* file;
  bool thumbnail;
  int fit;
  int sw, sh;
};

// Progressive files, every sampling, odd widths (with the padding word),
// grey and CMYK, cut files and the other screens; each with its own seed.
const VariantCase kVariants[] = {
    {"prog640x480_422.jpg", false, FIT_SCREEN_FINE, 480, 640},   // rotated, s 16
    {"prog640x480_422.jpg", true, FIT_SCREEN_FINE, 240, 320},
    {"prog1600x1200.jpg", false, FIT_SCREEN_WHOLE, 320, 240},    // rotated, s 64
    {"prog1600x1200.jpg", true, FIT_LARGE, 240, 320},
    {"s444_800x600.jpg", false, FIT_SCREEN_WHOLE, 320, 240},     // rotated, s 32
    {"s444_800x600.jpg", false, FIT_LARGE, 480, 640},            // rotated, no reduction
    {"s422_1001x751.jpg", false, FIT_SCREEN_FINE, 240, 320},     // 231 wide, s 26
    {"s422_1001x751.jpg", true, FIT_SCREEN_FINE, 240, 320},      // 53 x 39
    {"odd241x179.jpg", false, FIT_SCREEN_FINE, 240, 320},        // 179 wide, rotated
    {"odd101x81.jpg", false, FIT_SCREEN_WHOLE, 480, 640},        // 101 wide, upright s 16
    {"odd999x1333.jpg", false, FIT_SCREEN_FINE, 240, 320},       // 235 wide, averaged
    {"grey500x375.jpg", false, FIT_SCREEN_FINE, 240, 320},
    {"grey500x375.jpg", false, FIT_LARGE, 480, 640},
    {"grey500x375.jpg", true, FIT_SCREEN_FINE, 240, 320},
    {"cmyk300x200.jpg", false, FIT_SCREEN_FINE, 240, 320},
    {"cmyk300x200.jpg", true, FIT_SCREEN_FINE, 240, 320},
    {"cut_base.jpg", false, FIT_SCREEN_WHOLE, 480, 640},
    {"cut_prog.jpg", false, FIT_SCREEN_FINE, 240, 320},
    {"cut_prog.jpg", true, FIT_SCREEN_FINE, 240, 320},
    {"p2048x1536.jpg", false, FIT_SCREEN_FINE, 480, 640},
    {"p1600x1200.jpg", false, FIT_SCREEN_WHOLE, 320, 240},
    {"p100x80.jpg", true, FIT_SCREEN_FINE, 240, 320},
    {"p240x320.jpg", false, FIT_LARGE, 320, 240},
};

TEST_F(JpegExact, Variants) {
  unsigned seed = 500;
  bool sawOddWidth = false;
  for (const VariantCase& c : kVariants) {
    SCOPED_TRACE(std::string(c.file) + (c.thumbnail ? " thumbnail" : " fit " + std::to_string(c.fit)) +
                 " on " + std::to_string(c.sw) + "x" + std::to_string(c.sh));
    RefPicture ref = CheckExact(c.file, c.thumbnail, c.fit, c.sw, c.sh, seed++);
    EXPECT_TRUE(ref.made);
    if (ref.width % 2 == 1) sawOddWidth = true;
  }
  EXPECT_TRUE(sawOddWidth);
}

// Requests that yield no bitmap: the tool makes no file and says exit 1.
TEST_F(JpegExact, NoPicture) {
  CheckExact("notjpeg.jpg", false, FIT_SCREEN_FINE, 240, 320, 7);
  RefPicture thin = CheckExact("thin2000x1.jpg", true, FIT_SCREEN_FINE, 240, 320, 8);
  EXPECT_FALSE(thin.made);
  EXPECT_EQ(thin.height, 0);
  // The viewer turns it to 1 x 2000, and any reduction takes its width to 0.
  RefPicture turned = CheckExact("thin2000x1.jpg", false, FIT_LARGE, 240, 320, 9);
  EXPECT_FALSE(turned.made);
  EXPECT_TRUE(turned.rotated);
  EXPECT_EQ(turned.width, 0);
}

}  // namespace
