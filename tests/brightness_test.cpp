#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "imaging/brightness.h"
#include "platform/rgb565.h"

namespace {

struct TableRow {
  int level;
  int e0, e64, e128, e192, e255;
};

const TableRow kTableRows[] = {
    {0, 0, 57, 103, 135, 155},     {50, 0, 60, 115, 163, 205},
    {99, 0, 63, 127, 191, 254},    {100, 0, 64, 128, 192, 255},
    {101, 1, 64, 128, 192, 255},   {150, 50, 110, 165, 207, 255},
    {200, 100, 157, 191, 207, 255}, {300, 200, 207, 191, 207, 255},
};

TEST(BrightnessTable, KnownEntries) {
  for (const TableRow& row : kTableRows) {
    BYTE t[256];
    BuildBrightnessTable(row.level, t);
    EXPECT_EQ(t[0], row.e0) << "level " << row.level;
    EXPECT_EQ(t[64], row.e64) << "level " << row.level;
    EXPECT_EQ(t[128], row.e128) << "level " << row.level;
    EXPECT_EQ(t[192], row.e192) << "level " << row.level;
    EXPECT_EQ(t[255], row.e255) << "level " << row.level;
  }
}

TEST(BrightnessTable, ShapeAcrossLevels) {
  for (int level = 84; level <= 195; level++) {
    BYTE t[256];
    BuildBrightnessTable(level, t);
    for (int i = 1; i < 256; i++) ASSERT_LE(t[i - 1], t[i]) << "level " << level << " entry " << i;
  }
  BYTE low[256], high[256];
  BuildBrightnessTable(0, low);
  EXPECT_EQ(low[209], 142);
  EXPECT_EQ(low[210], 141);
  BuildBrightnessTable(300, high);
  EXPECT_GT(high[64], high[128]);
  // Far-out levels clamp t instead of wrapping.
  BYTE t[256];
  BuildBrightnessTable(100000, t);
  EXPECT_EQ(t[0], 255);
  EXPECT_EQ(t[255], 255);
  BuildBrightnessTable(-100000, t);
  EXPECT_EQ(t[128], 64);
  EXPECT_EQ(t[255], 0);
}

class BrightnessApply : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = brightnessSource;
    brightnessSource = {false, nullptr, nullptr, 0};
  }
  void TearDown() override {
    free(brightnessSource.pristinePixels);
    brightnessSource = saved;
    brightnessLevel = 100;
  }
  BrightnessSource saved;
};

TEST_F(BrightnessApply, LevelsStartFromThePristineCopy) {
  // A 3 x 2 picture: rows of 4 words, the last of each the zero filler.
  std::vector<uint16_t> live = {0xFFFF, 0x0000, 0x8410, 0, 0x001F, 0xF800, 0x07E0, 0};
  const std::vector<uint16_t> decoded = live;
  ASSERT_EQ(RegisterBrightnessSource(live.data(), (uint32_t)live.size()), 1);
  EXPECT_TRUE(brightnessSource.adjustable);

  brightnessLevel = 150;
  ApplyBrightness(150);
  BYTE t[256];
  BuildBrightnessTable(150, t);
  // White maps through entries 248 (red, blue) and 252 (green), never 255.
  uint16_t white = PackRgb565(t[248], t[252], t[248]);
  EXPECT_EQ(live[0], white);
  // Above 100 the filler words light up: entry 0 is no longer 0.
  EXPECT_NE(live[3], 0);
  EXPECT_EQ(live[3], PackRgb565(t[0], t[0], t[0]));

  // A second level does not build on the first.
  brightnessLevel = 50;
  ApplyBrightness(50);
  std::vector<uint16_t> afterTwo = live;
  brightnessLevel = 150;
  ApplyBrightness(150);
  brightnessLevel = 50;
  ApplyBrightness(50);
  EXPECT_EQ(live, afterTwo);

  brightnessLevel = 100;
  ApplyBrightness(100);
  EXPECT_EQ(live, decoded);
}

TEST_F(BrightnessApply, OnlyAnAdjustablePictureChanges) {
  std::vector<uint16_t> live = {0x1234, 0x5678};
  ASSERT_EQ(RegisterBrightnessSource(live.data(), 2), 1);
  brightnessSource.adjustable = false;  // what a viewer load of a PNG leaves
  brightnessLevel = 200;
  ApplyBrightness(200);
  EXPECT_EQ(live[0], 0x1234);
  EXPECT_EQ(live[1], 0x5678);
  BYTE t[256];
  BuildBrightnessTable(200, t);
  EXPECT_EQ(brightnessTable[128], t[128]);  // the table is rebuilt all the same
}

TEST_F(BrightnessApply, NothingRegisteredOnlyBuildsTheTable) {
  ApplyBrightness(100);
  for (int i = 0; i < 256; i++) ASSERT_EQ(brightnessTable[i], i);
  EXPECT_EQ(brightnessSource.pristinePixels, nullptr);
}

TEST_F(BrightnessApply, RegistrationReplacesThePreviousCopy) {
  std::vector<uint16_t> first = {1, 2}, second = {3, 4, 5, 6};
  ASSERT_EQ(RegisterBrightnessSource(first.data(), 2), 1);
  ASSERT_EQ(RegisterBrightnessSource(second.data(), 4), 1);
  EXPECT_EQ(brightnessSource.livePixels, second.data());
  EXPECT_EQ(brightnessSource.pixelCount, 4u);
  EXPECT_EQ(brightnessSource.pristinePixels[3], 6);
  second[3] = 99;  // the copy is a copy
  EXPECT_EQ(brightnessSource.pristinePixels[3], 6);
}

}  // namespace
