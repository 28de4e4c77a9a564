#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "browser/entry_list.h"
#include "imaging/brightness.h"
#include "platform/gdi.h"
#include "platform/registry.h"
#include "platform/shell_ui.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "browser/settings.h"
#include "shell/startup.h"
#include "tests/support/temp_dir.h"
#include "ui/grid.h"
#include "ui/main_window.h"
#include "ui/ui_state.h"

namespace {

const WCHAR kClass[] = L"GRIDTEST";

LPARAM At(int x, int y) { return (LPARAM)(((DWORD)y << 16) | (DWORD)x); }

// The remembered folder, read through the settings store.
std::wstring RememberedFolder() {
  std::wstring shown = currentFolder;
  LoadSettings();
  std::wstring remembered = currentFolder;
  wcscpy(currentFolder, shown.c_str());
  return remembered;
}

class GridTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    registryDir = new TempDir();
    PlatformSetRegistryFile(registryDir->At("registry.reg").c_str());
    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainWindowProc;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
  }
  static void TearDownTestSuite() {
    delete registryDir;
    registryDir = nullptr;
  }

  void TearDown() override { Close(); }

  // The main window on a screen of that size, started as with a command line.
  void Open(const WCHAR* start, int width = 240, int height = 320, bool unusable = false) {
    Close();
    PlatformSetScreenSize(width, height);
    uiState = UiState();
    // Earlier suites in this process decoded viewer pictures and deleted
    // them; a new program starts with nothing registered for brightness.
    brightnessSource.adjustable = false;
    wcscpy(startPath, start);
    startPathUnusable = unusable;
    hwnd = CreateWindowExW(0, kClass, L"", WS_VISIBLE | WS_TABSTOP, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                           nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
  }

  void Close() {
    PlatformWaitForThreads();  // no worker outlives the test's folder
    if (!hwnd) return;
    UiState& s = uiState;
    DeleteDC(s.backContext);
    DeleteDC(s.sourceContext);
    DeleteObject(s.backBitmap);
    DeleteObject(s.uiFont);
    for (HBITMAP b : s.tileBitmaps) DeleteObject(b);
    DestroyWindow(hwnd);
    hwnd = nullptr;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  void Tap(int x, int y) {
    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, At(x, y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, At(x, y));
  }
  void Key(WPARAM code, LPARAM lParam = 0) { SendMessageW(hwnd, WM_KEYDOWN, code, lParam); }

  // Takes every queued message without handling it; true when one of them
  // was the quit message with code 0.
  bool QuitPosted() {
    bool quit = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT && msg.wParam == 0) quit = true;
      // A paint stays pending until painted; everything else is dropped.
      if (msg.message == WM_PAINT) DispatchMessageW(&msg);
    }
    return quit;
  }

  // Back to the root's listing, top of the page.
  void ShowRoot() {
    currentFolder[0] = 0;
    ScanFolder(currentFolder);
    uiState.firstVisible = 0;
    uiState.selection = 0;
  }

  static TempDir* registryDir;
  TempDir dir;
  HWND hwnd = nullptr;
};

TempDir* GridTest::registryDir;

TEST_F(GridTest, LayoutFollowsTheClientSize) {
  Open(L"\\");
  EXPECT_EQ(uiState.clientWidth, 240);
  EXPECT_EQ(uiState.clientHeight, 320);
  EXPECT_EQ(uiState.columns, 3);
  EXPECT_EQ(uiState.tilesPerPage, 9);
  Open(L"\\", 480, 640);
  EXPECT_EQ(uiState.columns, 6);
  EXPECT_EQ(uiState.tilesPerPage, 36);
}

TEST_F(GridTest, TapsHitColumnsRowsAndThePartialRow) {
  for (int i = 0; i < 12; i++) dir.MakeFolder("F" + std::to_string(10 + i));  // F10..F21
  Open(L"\\");
  ASSERT_EQ(entryCount, 12);

  Tap(217, 50);  // between the last column (ends at 214) and the toolbar (220)
  EXPECT_STREQ(currentFolder, L"");
  Tap(220, 50);  // the toolbar starts after 220
  EXPECT_STREQ(currentFolder, L"");

  Tap(2, 50);  // the left margin belongs to column 0
  EXPECT_STREQ(currentFolder, L"\\F10");
  ShowRoot();
  Tap(80, 10);  // the title bar belongs to row 0
  EXPECT_STREQ(currentFolder, L"\\F11");
  ShowRoot();
  Tap(150, 310);  // the fourth row shows its top 10 pixels
  EXPECT_STREQ(currentFolder, L"\\F21");
  ShowRoot();

  // One row down through the down arrow; the tap under it then opens a
  // tile of the next row.
  Tap(230, 310);
  EXPECT_EQ(uiState.firstVisible, 3);
  EXPECT_STREQ(currentFolder, L"");
  Tap(10, 30);
  EXPECT_STREQ(currentFolder, L"\\F13");
}

TEST_F(GridTest, ThumbOffsetAndArrows) {
  for (int i = 0; i < 10; i++) dir.MakeFolder("F" + std::to_string(i));
  Open(L"\\");
  ASSERT_EQ(entryCount, 10);
  // D = 10 + 1 - 9 = 2, T = 240: top 40, then 40 + min(240, 360) = H - 40.
  EXPECT_EQ(kTrackTop + ThumbOffset(0), 40);
  EXPECT_EQ(kTrackTop + ThumbOffset(3), 280);

  Tap(230, 310);  // down arrow
  EXPECT_EQ(uiState.firstVisible, 3);
  Tap(230, 310);  // 3 is the last first row: 10 - 9 = 1 is not above it
  EXPECT_EQ(uiState.firstVisible, 3);
  Tap(230, 30);  // up arrow
  EXPECT_EQ(uiState.firstVisible, 0);

  // A press on the track scrolls at once until the thumb's centre is near
  // the stylus; moves follow it; the release ends the hold.
  SendMessageW(hwnd, WM_LBUTTONDOWN, 0, At(230, 290));
  EXPECT_EQ(uiState.toolbarHold, HoldThumb);
  EXPECT_EQ(uiState.firstVisible, 3);
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, At(230, 45));
  EXPECT_EQ(uiState.firstVisible, 0);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, At(230, 45));
  EXPECT_EQ(uiState.toolbarHold, HoldNone);
  EXPECT_EQ(uiState.firstVisible, 0);
  EXPECT_EQ(uiState.selection, 0);  // tracking leaves the selection
}

TEST_F(GridTest, ShortListHasNoArrowsAndNoTracking) {
  for (int i = 0; i < 9; i++) dir.MakeFolder("F" + std::to_string(i));
  Open(L"\\");
  ASSERT_EQ(entryCount, 9);
  EXPECT_EQ(ThumbOffset(0), 0);
  SendMessageW(hwnd, WM_LBUTTONDOWN, 0, At(230, 200));
  EXPECT_EQ(uiState.toolbarHold, HoldNone);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, At(230, 200));
  Tap(230, 310);
  EXPECT_EQ(uiState.firstVisible, 0);
  // A hold that outlived its long list (Enter opened this one) tracks
  // nothing.
  uiState.toolbarHold = HoldThumb;
  uiState.firstVisible = 3;
  uiState.lastStylusY = 20;
  SendMessageW(hwnd, WM_TIMER, 0, 0);
  EXPECT_EQ(uiState.firstVisible, 3);
}

TEST_F(GridTest, DirectionKeysMoveTheSelectionAndScroll) {
  for (int i = 0; i < 10; i++) dir.MakeFolder("F" + std::to_string(i));
  Open(L"\\");
  struct Step {
    WPARAM key;
    int selection, firstVisible;
  };
  const Step steps[] = {{VK_LEFT, 0, 0},  {VK_UP, 0, 0},    {VK_RIGHT, 1, 0}, {VK_DOWN, 4, 0},
                        {VK_DOWN, 7, 0},  {VK_DOWN, 9, 3},  {VK_RIGHT, 9, 3}, {VK_DOWN, 9, 3},
                        {VK_UP, 6, 3},    {VK_LEFT, 5, 3},  {VK_UP, 2, 0},    {VK_UP, 0, 0}};
  for (const Step& step : steps) {
    Key(step.key);
    EXPECT_EQ(uiState.selection, step.selection) << "key " << step.key;
    EXPECT_EQ(uiState.firstVisible, step.firstVisible) << "key " << step.key;
  }
  // An auto-repeated Enter opens nothing; a fresh one opens the selection.
  Key(VK_RIGHT);
  Key(VK_RETURN, KF_REPEAT_BIT);
  EXPECT_STREQ(currentFolder, L"");
  Key(VK_RETURN);
  EXPECT_STREQ(currentFolder, L"\\F1");
}

TEST_F(GridTest, TimerRepeatsHeldArrowsAndTheFullScreenRequest) {
  for (int i = 0; i < 12; i++) dir.MakeFolder("F" + std::to_string(10 + i));
  Open(L"\\");
  // Ticks count from 18: the second one asks, then every twentieth.
  const int asked = PlatformFullScreenRequests();
  SendMessageW(hwnd, WM_TIMER, kTimerId, 0);
  EXPECT_EQ(PlatformFullScreenRequests(), asked);
  SendMessageW(hwnd, WM_TIMER, kTimerId, 0);
  EXPECT_EQ(PlatformFullScreenRequests(), asked + 1);
  for (int i = 0; i < 19; i++) SendMessageW(hwnd, WM_TIMER, kTimerId, 0);
  EXPECT_EQ(PlatformFullScreenRequests(), asked + 1);
  SendMessageW(hwnd, WM_TIMER, kTimerId, 0);
  EXPECT_EQ(PlatformFullScreenRequests(), asked + 2);

  // Holding the down arrow moves the selection a row per tick.
  SendMessageW(hwnd, WM_LBUTTONDOWN, 0, At(230, 310));
  EXPECT_EQ(uiState.toolbarHold, HoldDown);
  for (int i = 0; i < 3; i++) SendMessageW(hwnd, WM_TIMER, kTimerId, 0);
  EXPECT_EQ(uiState.selection, 9);
  EXPECT_EQ(uiState.firstVisible, 3);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, At(230, 310));  // 3 is the last first row
  EXPECT_EQ(uiState.firstVisible, 3);
  SendMessageW(hwnd, WM_TIMER, kTimerId, 0);  // released: no more rows
  EXPECT_EQ(uiState.selection, 9);
}

TEST_F(GridTest, CloseCrossAndCloseKeysQuit) {
  for (int i = 0; i < 12; i++) dir.MakeFolder("F" + std::to_string(10 + i));
  Open(L"\\");
  QuitPosted();  // the creation's timer ticks
  Key(VK_ESCAPE, KF_REPEAT_BIT);
  Key(0xC4, KF_REPEAT_BIT);
  EXPECT_FALSE(QuitPosted());
  Key(VK_ESCAPE);
  EXPECT_TRUE(QuitPosted());
  Key(0xC4);
  EXPECT_TRUE(QuitPosted());
  // A press on the cross of a long list tracks the thumb; its release quits.
  Tap(230, 10);
  EXPECT_TRUE(QuitPosted());
  Tap(230, 20);  // between the cross and the up arrow: nothing
  EXPECT_FALSE(QuitPosted());
}

TEST_F(GridTest, EmptyListIgnoresKeysAndTaps) {
  Open(L"\\");  // the root holds nothing
  ASSERT_EQ(entryCount, 0);
  for (WPARAM key : {VK_RIGHT, VK_DOWN, VK_LEFT, VK_UP, VK_RETURN}) Key(key);
  Tap(30, 50);
  EXPECT_EQ(uiState.selection, 0);
  EXPECT_EQ(uiState.firstVisible, 0);
  EXPECT_STREQ(currentFolder, L"");
}

TEST_F(GridTest, FoldersAndTheParentEntryOpen) {
  dir.MakeFolder("Trips");
  dir.MakeFolder("Trips/Day1");
  dir.MakeFolder("Zoo");
  Open(L"\\");
  uiState.selection = 1;
  OpenEntry(0);
  EXPECT_STREQ(currentFolder, L"\\Trips");
  EXPECT_EQ(RememberedFolder(), L"\\Trips");
  ASSERT_EQ(entryCount, 2);
  EXPECT_STREQ(entryList[0].name, L"..");
  EXPECT_EQ(uiState.selection, 0);
  OpenEntry(1);
  EXPECT_STREQ(currentFolder, L"\\Trips\\Day1");
  EXPECT_EQ(RememberedFolder(), L"\\Trips\\Day1");
  OpenEntry(0);  // the parent
  EXPECT_STREQ(currentFolder, L"\\Trips");
  uiState.firstVisible = 3;  // as if scrolled; entering resets it
  uiState.selection = 1;
  OpenEntry(0);
  EXPECT_STREQ(currentFolder, L"");
  EXPECT_EQ(RememberedFolder(), L"");
  EXPECT_EQ(uiState.selection, 0);
  EXPECT_EQ(uiState.firstVisible, 0);
  EXPECT_EQ(entryCount, 2);
  // Out of range: nothing.
  const uint32_t generation = listGeneration;
  OpenEntry(2);
  OpenEntry(-1);
  EXPECT_EQ(listGeneration, generation);
}

TEST_F(GridTest, NameTooLongForThePathChangesNothing) {
  const std::string a(200, 'a'), b(200, 'b'), c(200, 'c');
  dir.MakeFolder(a);
  dir.MakeFolder(a + "/" + b);
  dir.MakeFolder(a + "/" + b + "/" + c);
  const std::wstring inner = L"\\" + std::wstring(200, L'a') + L"\\" + std::wstring(200, L'b');
  Open((inner + L"\\").c_str());  // lists inner, opens nothing
  ASSERT_STREQ(currentFolder, inner.c_str());
  ASSERT_EQ(entryCount, 2);
  const std::wstring remembered = RememberedFolder();
  const uint32_t generation = listGeneration;
  uiState.selection = 1;
  OpenEntry(1);  // 402 + 1 + 200 characters do not fit in 511
  EXPECT_STREQ(currentFolder, inner.c_str());
  EXPECT_EQ(uiState.selection, 1);
  EXPECT_EQ(listGeneration, generation);  // no scan
  EXPECT_EQ(RememberedFolder(), remembered);
  OpenEntry(0);  // the parent still works
  EXPECT_EQ(std::wstring(currentFolder), L"\\" + std::wstring(200, L'a'));
}

TEST_F(GridTest, StartPathOpensItsEntryButNotAfterFallingBack) {
  dir.MakeFolder("Trips");
  dir.Write("Trips/x.png", "");
  dir.Write("a.png", "");
  dir.MakeFolder("Pictures");
  dir.Write("Pictures/b.png", "");
  dir.Write("Pictures/a.PNG", "");

  Open(L"\\Pictures\\A.png");  // found ignoring case
  EXPECT_STREQ(currentFolder, L"\\Pictures");
  EXPECT_EQ(uiState.selection, 1);  // "..", a.PNG, b.png
  EXPECT_EQ(uiState.currentPicture, 1);

  const std::wstring remembered = RememberedFolder();
  Open(L"\\Missing\\a.png");  // the root holds an a.png
  EXPECT_STREQ(currentFolder, L"");
  EXPECT_EQ(uiState.selection, 0);
  EXPECT_EQ(uiState.currentPicture, 0);
  Open(L"\\Missing\\Trips");
  EXPECT_STREQ(currentFolder, L"");
  EXPECT_EQ(RememberedFolder(), remembered);

  Open(L"\\Trips", 240, 320, true);  // a command line that named no device path
  EXPECT_STREQ(currentFolder, L"");
  EXPECT_EQ(RememberedFolder(), remembered);

  Open(L"\\Trips");  // the root is listed and Trips entered
  EXPECT_STREQ(currentFolder, L"\\Trips");
  EXPECT_EQ(RememberedFolder(), L"\\Trips");
  Open(L"Trips");  // no backslash: the whole text is the folder
  EXPECT_STREQ(currentFolder, L"Trips");
  EXPECT_EQ(entryCount, 2);
}

TEST_F(GridTest, StateLineCarriesTheFolderAsHostBytes) {
  Open(L"\\");
  uiState.selection = 4;
  uiState.firstVisible = 3;
  wcscpy(currentFolder, L"\\caf\u00e9\\x\xDCFF");
  char line[256];
  ReportUiState(line, sizeof(line));
  EXPECT_STREQ(line, "1 4 3 0 2 0 0 0 2 0 \\caf\xc3\xa9\\x\xff");
  currentFolder[0] = 0;
  ReportUiState(line, sizeof(line));
  EXPECT_STREQ(line, "1 4 3 0 2 0 0 0 2 0 ");
}

}  // namespace
