// The panel in a window of any size: where it goes, how window points map
// back, and the pixels drawn (whole blocks, the area average, turned
// panels, black borders); and the keys and pad buttons the window adds.
#include "platform/screen_fit.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/backend_sdl.h"
#include "platform/panel_turn.h"
#include "platform/window.h"

namespace {

TEST(ScreenFit, WholeFactorWhenOneFitsAreaAverageOtherwiseCentred) {
  struct Case {
    int ww, wh, pw, ph;
    int x, y, width, height, factor;
  };
  const Case cases[] = {
      {480, 640, 240, 320, 0, 0, 480, 640, 2},      // the window as opened
      {1000, 700, 240, 320, 260, 30, 480, 640, 2},  // wider: 2 fits, not 3
      {1920, 1080, 240, 320, 600, 60, 720, 960, 3},
      {640, 480, 320, 240, 0, 0, 640, 480, 2},   // a turned panel
      {300, 200, 240, 320, 75, 0, 150, 200, 0},  // height binds, smooth
      {200, 400, 240, 320, 0, 66, 200, 267, 0},  // width binds, rounded
      {239, 320, 240, 320, 0, 0, 239, 319, 0},
      {0, 100, 240, 320, 0, 0, 0, 0, 0},  // nothing to draw into
  };
  for (const Case& c : cases) {
    ScreenFit f = FitPanel(c.ww, c.wh, c.pw, c.ph);
    EXPECT_EQ(f.x, c.x) << c.ww << "x" << c.wh;
    EXPECT_EQ(f.y, c.y) << c.ww << "x" << c.wh;
    EXPECT_EQ(f.width, c.width) << c.ww << "x" << c.wh;
    EXPECT_EQ(f.height, c.height) << c.ww << "x" << c.wh;
    EXPECT_EQ(f.factor, c.factor) << c.ww << "x" << c.wh;
  }
}

TEST(ScreenFit, WindowPointsMapBackThroughTheSameScaling) {
  ScreenFit whole = FitPanel(1000, 700, 240, 320);  // factor 2 at (260, 30)
  int x, y;
  EXPECT_TRUE(FitWindowToPanel(whole, 260, 30, &x, &y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_TRUE(FitWindowToPanel(whole, 260 + 75, 30 + 115, &x, &y));
  EXPECT_EQ(x, 37);
  EXPECT_EQ(y, 57);
  EXPECT_TRUE(FitWindowToPanel(whole, 739, 669, &x, &y));
  EXPECT_EQ(x, 239);
  EXPECT_EQ(y, 319);
  // The border: clamped onto the picture's edge, and said to be outside.
  EXPECT_FALSE(FitWindowToPanel(whole, 10, 690, &x, &y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 319);
  EXPECT_FALSE(FitWindowToPanel(whole, 740, 100, &x, &y));
  EXPECT_EQ(x, 239);
  EXPECT_EQ(y, 35);

  ScreenFit smooth = FitPanel(300, 200, 240, 320);  // 150 x 200 at (75, 0)
  EXPECT_TRUE(FitWindowToPanel(smooth, 75 + 149, 199, &x, &y));
  EXPECT_EQ(x, 238);  // 149 * 240 / 150
  EXPECT_EQ(y, 318);
  EXPECT_TRUE(FitWindowToPanel(smooth, 75 + 75, 100, &x, &y));
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, 160);
  EXPECT_FALSE(FitWindowToPanel(smooth, 74, 0, &x, &y));
  EXPECT_EQ(x, 0);
}

// An RGB565 panel of distinct words, drawn into 32-bit X11-style pixels.
struct Drawn {
  std::vector<uint32_t> pixels;
  int width;
  uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

uint32_t Widened(uint16_t w) {
  uint32_t r = w >> 11, g = w >> 5 & 0x3F, b = w & 0x1F;
  return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

Drawn Draw(const PanelView& view, const ScreenFit& fit) {
  Drawn d;
  d.width = fit.windowWidth;
  // Filled with a colour no panel word widens to, so undrawn pixels show.
  d.pixels.assign((size_t)fit.windowWidth * fit.windowHeight, 0x00123457);
  DrawPanel(view, fit, PixelLayout(), (uint8_t*)d.pixels.data(), fit.windowWidth * 4, true);
  return d;
}

TEST(ScreenFit, WholeBlocksTurnedPanelsAndBlackBorders) {
  const int w = 24, h = 32;
  std::vector<uint16_t> screen((size_t)w * h);
  for (size_t i = 0; i < screen.size(); i++) screen[i] = (uint16_t)(i * 2654435761u >> 16);
  for (int turn : {0, 90, 180, 270}) {
    int pw, ph;
    PanelSize(turn, w, h, &pw, &ph);
    // The panel as the headless shots turn it: the reference.
    std::vector<uint16_t> panel((size_t)pw * ph);
    TurnScreenToPanel(turn, screen.data(), w, h, w * 2, panel.data(), pw);
    PanelView view;
    view.words = screen.data();
    view.width = pw;
    view.height = ph;
    int x0, y0, x1, y1, x2, y2;
    PanelPointToScreen(turn, w, h, 0, 0, &x0, &y0);
    PanelPointToScreen(turn, w, h, 1, 0, &x1, &y1);
    PanelPointToScreen(turn, w, h, 0, 1, &x2, &y2);
    view.origin = (long)y0 * w + x0;
    view.stepX = (long)(y1 - y0) * w + (x1 - x0);
    view.stepY = (long)(y2 - y0) * w + (x2 - x0);
    ScreenFit fit = FitPanel(3 * pw + 7, 3 * ph + 4, pw, ph);
    ASSERT_EQ(fit.factor, 3);
    Drawn d = Draw(view, fit);
    int wrong = 0, notBlack = 0;
    for (int y = 0; y < fit.windowHeight; y++)
      for (int x = 0; x < fit.windowWidth; x++) {
        int px, py;
        if (FitWindowToPanel(fit, x, y, &px, &py))
          wrong += d.At(x, y) != Widened(panel[(size_t)py * pw + px]);
        else
          notBlack += d.At(x, y) != 0;
      }
    EXPECT_EQ(wrong, 0) << "turn " << turn;
    EXPECT_EQ(notBlack, 0) << "turn " << turn;
  }
}

TEST(ScreenFit, SmallerWindowsGetTheAreaAverage) {
  // Left half white, right half black, one grey column between: a 2 : 1
  // reduction averages pairs of columns.
  const int w = 8, h = 4;
  std::vector<uint16_t> screen((size_t)w * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) screen[(size_t)y * w + x] = x < 3 ? 0xFFFF : x == 3 ? 0x8410 : 0;
  PanelView view;
  view.words = screen.data();
  view.stepY = w;
  view.width = w;
  view.height = h;
  ScreenFit fit = FitPanel(4, 3, w, h);  // width binds: 4 x 2 at (0, 0)
  ASSERT_EQ(fit.factor, 0);
  ASSERT_EQ(fit.width, 4);
  ASSERT_EQ(fit.height, 2);
  Drawn d = Draw(view, fit);
  EXPECT_EQ(d.At(0, 0), 0xFFFFFFu);
  // White and grey (0x84, 0x82, 0x84): the mean of each channel, rounded.
  EXPECT_EQ(d.At(1, 0), 0xC2C1C2u);
  EXPECT_EQ(d.At(2, 1), 0u);
  EXPECT_EQ(d.At(3, 1), 0u);
  for (int x = 0; x < 4; x++) EXPECT_EQ(d.At(x, 2), 0u) << "the border row below";

  // Thirds: each output pixel covers one and a half input pixels.
  ScreenFit thirds = FitPanel(5, 5, 6, 6);
  ASSERT_EQ(thirds.width, 5);
  std::vector<uint16_t> grey(36, 0x8410);
  view.words = grey.data();
  view.stepY = 6;
  view.width = view.height = 6;
  Drawn g = Draw(view, thirds);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 5; x++) EXPECT_EQ(g.At(x, y), 0x848284u) << x << "," << y;
}

TEST(SdlKeys, DesktopKeysBecomeTheirCodes) {
  struct Case {
    const char* name;
    WPARAM code;
  };
  const Case cases[] = {
      {"PageUp", VK_PRIOR},   {"PageDown", VK_NEXT}, {"Home", VK_HOME}, {"End", VK_END},
      {"Backspace", VK_BACK}, {"h", 0x48},           {"?", VK_OEM_2},
  };
  for (const Case& c : cases) {
    int key = SdlKeyFromName(c.name);
    ASSERT_NE(key, 0) << c.name;
    UINT message;
    WPARAM code;
    LPARAM lParam;
    ASSERT_EQ(SdlTranslateKey(key, false, false, false, &message, &code, &lParam), 1) << c.name;
    EXPECT_EQ(message, (UINT)WM_KEYDOWN) << c.name;
    EXPECT_EQ(code, c.code) << c.name;
  }
  // F11 is the window's own: the program never sees it.
  UINT message;
  WPARAM code;
  LPARAM lParam;
  EXPECT_EQ(SdlTranslateKey(SdlKeyFromName("F11"), false, false, true, &message, &code, &lParam),
            0);
}

}  // namespace
