// Text: one page of tile labels as the folder grid draws them (measured in
// a 200-wide box, then drawn into the 69 x 100 name box) on a 480 x 640
// page of 6 x 6 tiles, plus the title. Warm: the glyphs are cached; cold:
// a new font every page, so the face is looked up, loaded and every glyph
// rendered again.
//
//   text_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>

#include <cwchar>

#include "platform/gdi.h"

namespace {

const int kWidth = 480;
const int kHeight = 640;
const int kColumns = 6;
const int kTiles = 36;

const wchar_t* const kLabels[] = {
    L"..",
    L"Holiday 2023",
    L"a long label that wraps",
    L"IMG_20230101_123456.jpg",
    L"DSC00042.JPG",
    L"Family & friends",
    L"Screenshot from the meeting.png",
    L"scan-0007.bmp",
};
const int kLabelCount = sizeof(kLabels) / sizeof(kLabels[0]);

struct Page {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  Page() {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
    SelectObject(dc, bitmap);
  }
  ~Page() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
};

HFONT MakeUiFont() {
  LOGFONTW lf = {};
  lf.lfHeight = 12;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = FF_SWISS;
  wcscpy(lf.lfFaceName, L"Arial");
  return CreateFontIndirectW(&lf);
}

// The labels and title of one page, as the grid paints them.
bool DrawPage(HDC dc) {
  RECT all = {0, 0, kWidth, kHeight};
  FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
  for (int i = 0; i < kTiles; i++) {
    int x = 5 + 70 * (i % kColumns), y = 25 + 95 * (i / kColumns);
    const wchar_t* label = kLabels[i % kLabelCount];
    SetTextColor(dc, RGB(0, 0, 128));
    SetBkMode(dc, TRANSPARENT);
    RECT measure = {0, y + 67, 200, y + 167};
    if (DrawTextW(dc, label, -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX) == 0)
      return false;
    RECT box = {x, y + 67, x + 69, y + 167};
    UINT centre = measure.right - measure.left > 69 ? 0 : DT_CENTER;
    if (DrawTextW(dc, label, -1, &box, DT_WORDBREAK | DT_NOPREFIX | centre) == 0) return false;
  }
  RECT title = {5, 2, kWidth - 20, 18};
  return DrawTextW(dc, L"\\Storage Card\\Pictures", -1, &title, DT_VCENTER) > 0;
}

void BM_LabelPageWarm(benchmark::State& state) {
  Page page;
  HFONT font = MakeUiFont();
  SelectObject(page.dc, font);
  if (!DrawPage(page.dc)) state.SkipWithError("no font");
  for (auto _ : state)
    if (!DrawPage(page.dc)) state.SkipWithError("drawing failed");
  SelectObject(page.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
}
BENCHMARK(BM_LabelPageWarm)->Unit(benchmark::kMicrosecond);

void BM_LabelPageColdFont(benchmark::State& state) {
  Page page;
  for (auto _ : state) {
    HFONT font = MakeUiFont();
    SelectObject(page.dc, font);
    if (!DrawPage(page.dc)) state.SkipWithError("drawing failed");
    SelectObject(page.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
  }
}
BENCHMARK(BM_LabelPageColdFont)->Unit(benchmark::kMicrosecond);

// The page fill alone, the floor under both.
void BM_PageFillOnly(benchmark::State& state) {
  Page page;
  RECT all = {0, 0, kWidth, kHeight};
  for (auto _ : state) FillRect(page.dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
}
BENCHMARK(BM_PageFillOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
