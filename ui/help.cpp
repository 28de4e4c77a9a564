// The help page, drawn as the grid draws: white under the title bar, the
// close cross at the top right, the label font in the label colour.
#include "ui/help.h"

#include <algorithm>
#include <iterator>

#include "platform/gdi.h"
#include "ui/grid.h"
#include "ui/ui_state.h"

namespace {

struct HelpRow {
  const WCHAR* keys;
  const WCHAR* action;
};

const WCHAR kGridTitle[] = L"Keys: the folder grid";
const WCHAR kViewerTitle[] = L"Keys: the picture viewer";
const WCHAR kClosing[] = L"Any key or tap closes this page.";

const HelpRow kGridRows[] = {
    {L"Arrows", L"move the red frame"},
    {L"Enter, tap", L"open the folder or picture"},
    {L"Page Up, Down", L"a page back or on"},
    {L"Home, End", L"the first or last entry"},
    {L"Backspace", L"the folder above"},
    {L"Wheel, arrows at the right", L"scroll by rows"},
    {L"Ball at the right", L"drag through a long folder"},
    {L"Escape, F4, cross", L"quit"},
    {L"? or H", L"this page"},
};

const HelpRow kViewerRows[] = {
    {L"Right, Down, Page Down", L"the next picture"},
    {L"Left, Up, Page Up", L"the previous picture"},
    {L"Wheel", L"the next or previous picture"},
    {L"Home, End", L"the first or last picture"},
    {L"+ and -", L"zoom in and out"},
    {L"Drag", L"move a large picture"},
    {L"Space, F2", L"start or stop the slide show"},
    {L"F1", L"decode again with the next fit"},
    {L"Escape, Enter, F4, Backspace, cross", L"back to the folder (the first only stops a slide show)"},
    {L"? or H", L"this page"},
};

const COLORREF kActionColor = RGB(0, 0, 0);
const COLORREF kPageColor = RGB(255, 255, 255);
const int kMargin = 5;         // left and right of the text
const int kColumnGap = 6;      // between the keys and what they do
const int kRowGap = 3;
const int kKeysShare = 9;      // the keys column takes 9/20 of the width
const int kShareOf = 20;
const UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX;

// Text wrapped in the box from (left, top) to right; returns its height.
int DrawWrapped(HDC dc, const WCHAR* text, int left, int top, int right, COLORREF color) {
  RECT box = {left, top, right, top};
  DrawTextW(dc, text, -1, &box, kTextFormat | DT_CALCRECT);
  const int height = box.bottom - box.top;
  box = {left, top, right, top + height};
  SetTextColor(dc, color);
  DrawTextW(dc, text, -1, &box, kTextFormat);
  return height;
}

}  // namespace

void ShowHelp() {
  UiState& s = uiState;
  s.helpShown = true;
  s.toolbarHold = HoldNone;
  s.dragging = false;
  FullRepaint();
}

void CloseHelp() {
  uiState.helpShown = false;
  FullRepaint();
}

void HelpPaint(HDC screen) {
  const UiState& s = uiState;
  const HDC back = s.backContext;
  const int W = s.clientWidth, H = s.clientHeight;
  SelectObject(back, s.uiFont);
  RECT all = {0, 0, W, H};
  HBRUSH page = CreateSolidBrush(kPageColor);
  FillRect(back, &all, page);
  DeleteObject(page);
  // The grid's title bar draws in whatever a label last set, so leave both as found.
  const int oldMode = SetBkMode(back, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(back, kTextColor);
  PaintTitle(s.gridMode ? kGridTitle : kViewerTitle);
  PaintCloseButton();

  const HelpRow* rows = s.gridMode ? kGridRows : kViewerRows;
  const size_t count = s.gridMode ? std::size(kGridRows) : std::size(kViewerRows);
  const int keysRight = kMargin + (W - 2 * kMargin) * kKeysShare / kShareOf;
  const int actionLeft = keysRight + kColumnGap;
  int y = kGridTop;
  for (size_t i = 0; i < count && y < H; i++) {
    const int keys = DrawWrapped(back, rows[i].keys, kMargin, y, keysRight, kTextColor);
    const int action = DrawWrapped(back, rows[i].action, actionLeft, y, W - kMargin, kActionColor);
    y += std::max(keys, action) + kRowGap;
  }
  if (y < H) DrawWrapped(back, kClosing, kMargin, y + kRowGap, W - kMargin, kTextColor);
  SetTextColor(back, oldColor);
  if (oldMode) SetBkMode(back, oldMode);
  BitBlt(screen, 0, 0, W, H, back, 0, 0, SRCCOPY);
}
