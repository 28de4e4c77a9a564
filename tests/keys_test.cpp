// The device button rules for each model name, and the repeat timing of the
// key handler against a clock the test controls.
#include <gtest/gtest.h>

#include <cwchar>
#include <utility>
#include <vector>

#include "platform/backend.h"
#include "platform/window.h"
#include "ui/keys.h"
#include "ui/ui_state.h"

namespace {

void SetOemInfo(const wchar_t* text) {
  ASSERT_LT(wcslen(text), (size_t)kOemInfoChars);
  wcscpy(oemInfo, text);
}

struct ModelCase {
  const wchar_t* oemInfo;
  std::vector<std::pair<int, int>> codes;  // what comes in, what comes out
};

TEST(KeyDeviceRules, EachModelMapsItsButtonsAndPassesTheRest) {
  const ModelCase cases[] = {
      // No model: only the keys every device drops.
      {L"",
       {{0x5B, 0}, {0x84, 0}, {0x86, 0}, {0x87, 0}, {0x85, 0x85}, {0xC1, 0xC1}, {0xC4, 0xC4},
        {0xC5, 0xC5}, {0xCA, 0xCA}, {0xD3, 0xD3}, {0x10, 0x10}, {0x72, 0x72}, {0x75, 0x75},
        {0xF1, 0xF1}, {VK_RETURN, VK_RETURN}, {VK_ESCAPE, VK_ESCAPE}, {VK_UP, VK_UP}}},
      {L"hp iPAQ hx4700",
       {{0xCA, 0xC4}, {0xCB, 0xC1}, {0xCC, 0xC2}, {0xCD, 0xC3}, {0xCE, 0xCE}, {0xC9, 0xC9},
        {0xC4, 0xC4}, {0x5B, 0}, {0x72, 0x72}}},
      {L"ASUS MyPal A730",
       {{0xC5, 0xC1}, {0xC6, 0xC2}, {0xC7, 0xC3}, {0xC8, 0xC4}, {0xC9, 0xC5}, {0xCB, 0xC5},
        {0xD1, 0}, {0xD2, 0}, {0xD3, 0}, {0xD4, 0}, {0xD5, 0}, {0xCA, 0xCA}, {0xCC, 0xCC},
        {0xD0, 0xD0}, {0xD6, 0xD6}, {0xC1, 0xC1}, {0xC4, 0xC4}, {0x87, 0}}},
      {L"Pocket LOOX 720",
       {{0xC8, 0xC2}, {0xCA, 0xC4}, {0xCB, 0xC5}, {0xC9, 0xC9}, {0xCC, 0xCC}, {0xC2, 0xC2}}},
      {L"hp iPAQ hw6515",
       {{0x10, 0}, {0x72, 0xC1}, {0x73, 0xC4}, {0x75, VK_UP}, {0x76, VK_DOWN}, {0xC1, 0},
        {0xC2, 0}, {0xC3, 0}, {0xC4, 0}, {0xC5, 0}, {0xC6, 0}, {0xC7, 0}, {0xC8, 0}, {0xC9, 0},
        {0xCA, 0xC2}, {0xCB, 0xC3}, {0xF1, 0}, {0xF2, 0}, {0x74, 0x74}, {0xCC, 0xCC},
        {0xF3, 0xF3}, {VK_UP, VK_UP}, {VK_RETURN, VK_RETURN}}},
      {L"Dell Axim X5", {{0xCA, 0xC5}, {0xC5, 0xC5}, {0xC2, 0xC2}, {0xCB, 0xCB}}},
      // Longer names that begin with "Dell Axim X5" take its rule, not X30's.
      {L"Dell Axim X50", {{0xCA, 0xC5}, {0xC5, 0xC5}, {0xC3, 0xC3}, {0x5B, 0}}},
      {L"Dell Axim X30",
       {{0xC2, 0xC1}, {0xC3, 0xC2}, {0xC4, 0xC3}, {0xC5, 0xC4}, {0xC1, 0xC1}, {0xC6, 0xC6},
        {0xCA, 0xCA}}},
      // Names holding two models: each step works on what the one before left.
      {L"Pocket LOOX Dell Axim X30", {{0xCB, 0xC4}, {0xC8, 0xC1}, {0xCA, 0xC3}}},
      {L"ASUS Dell Axim X30", {{0xC9, 0xC4}, {0xC6, 0xC1}}},
      {L"Pocket LOOX Dell Axim X5", {{0xCA, 0xC4}}},
      {L"hp iPAQ hx47 hp iPAQ hw65", {{0xCB, 0}, {0xCA, 0}, {0xCD, 0}, {0x72, 0xC1}}},
      // The tests are case-sensitive.
      {L"asus hp ipaq hw6515 dell axim x30", {{0xC5, 0xC5}, {0x72, 0x72}, {0xC2, 0xC2}}},
  };
  for (const ModelCase& c : cases) {
    SetOemInfo(c.oemInfo);
    for (const auto& [in, out] : c.codes)
      EXPECT_EQ(MapDeviceKey(in), out) << c.oemInfo << std::hex << " code 0x" << in;
  }
  oemInfo[0] = 0;
}

// A clock that moves on by a few milliseconds at every read, so that the
// tick before an action and the one after it differ.
DWORD clockNow = 0;
DWORD clockStep = 0;
DWORD ReadClock() {
  DWORD t = clockNow;
  clockNow += clockStep;
  return t;
}
void NoSleep(DWORD) {}
void NoWait(int) {}
void NoCall() {}
const PlatformBackend kTestClock = {ReadClock, NoSleep, NoWait, NoCall, NoCall, nullptr};

class KeyTiming : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = uiState;
    oemInfo[0] = 0;
    uiState.gridMode = true;
    PlatformSetBackend(&kTestClock);
    clockStep = 0;
  }
  void TearDown() override {
    PlatformSetBackend(nullptr);
    uiState = saved;
  }
  // An auto-repeated key without action at clock t, after the last accepted
  // key at last; true when the handler took it.
  bool RepeatTaken(DWORD t, DWORD last) {
    clockNow = t;
    uiState.lastKeyTick = last;
    KeyDown(0xC3, KF_REPEAT_BIT);
    return uiState.lastKeyTick != last;
  }
  UiState saved;
};

TEST_F(KeyTiming, RepeatDistanceIsTheWrappingDifferenceEitherWay) {
  EXPECT_FALSE(RepeatTaken(5000, 4901));
  EXPECT_TRUE(RepeatTaken(5000, 4900));
  // A last tick ahead of the clock counts as close too.
  EXPECT_FALSE(RepeatTaken(5000, 5099));
  EXPECT_TRUE(RepeatTaken(5000, 5100));
  // Across the wrap of the 32-bit millisecond count.
  EXPECT_FALSE(RepeatTaken(30, 0xFFFFFFF0u));
  EXPECT_TRUE(RepeatTaken(30, 0xFFFFFF9Au));
  EXPECT_FALSE(RepeatTaken(0xFFFFFFF0u, 40));
  // Half the range apart is far.
  EXPECT_TRUE(RepeatTaken(0x80000000u, 0));
}

TEST_F(KeyTiming, DroppedCodesAndWideCodesAndTheTickAfterTheAction) {
  clockStep = 7;
  // Dropped by the device rules: the tick stays, even for a fresh press.
  clockNow = 9000;
  uiState.lastKeyTick = 1234;
  KeyDown(0x5B, 0);
  KeyDown(0, 0);
  EXPECT_EQ(uiState.lastKeyTick, 1234u);
  // A key without action is taken, and the tick is read again after it.
  clockNow = 10000;
  KeyDown(0xC3, 0);
  EXPECT_GT(uiState.lastKeyTick, 10000u);
  EXPECT_EQ(uiState.lastKeyTick, clockNow - clockStep);
  // So is an auto-repeat of a key that ignores repeats.
  clockNow = 20000;
  KeyDown(VK_RETURN, KF_REPEAT_BIT);
  EXPECT_EQ(uiState.lastKeyTick, clockNow - clockStep);
  // Enter that acts keeps the tick taken when it was accepted (here it
  // opens nothing: the selection lies past the list).
  uiState.selection = 1 << 20;
  clockNow = 30000;
  KeyDown(VK_RETURN, 0);
  EXPECT_EQ(uiState.lastKeyTick, 30000u);
  // A wParam wider than a key code is not cut into the close button's code.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  KeyDown((WPARAM)0x100C4, 0);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  KeyDown(0xC4, 0);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
}

}  // namespace
