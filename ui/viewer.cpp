// The picture viewer: one decoded picture, scaled at paint time through the
// zoom table, dragged with the stylus, stepped with the keys, or shown as a
// slide show. Window thread only.
#include "ui/viewer.h"

#include <algorithm>
#include <cwchar>

#include "browser/entry_list.h"
#include "imaging/brightness.h"
#include "imaging/picture.h"
#include "platform/gdi.h"
#include "platform/window.h"
#include "ui/ui_state.h"

namespace {

// Screen pixels : picture pixels, from x4 down to 1/24.
struct ZoomRow {
  int num;
  int den;
};
static const ZoomRow kZoomTable[] = {{4, 1}, {2, 1}, {1, 1},  {1, 2},  {1, 4},
                                     {1, 6}, {1, 8}, {1, 12}, {1, 16}, {1, 24}};
static const int kZoomRows = (int)(sizeof(kZoomTable) / sizeof(kZoomTable[0]));

static const int kSlideShowEvery = 16;  // ticks: 4 s at 250 ms
static const int kMillisecondsPerSecond = 1000;
// The show's pace in timer ticks; --interval changes it before the window exists.
static int slideShowEvery = kSlideShowEvery;
static const int kNeutralLevel = 100;   // brightness left as decoded

// Codes of the keys the viewer acts on beyond the virtual keys.
static const int kKeyZoomIn = 0x2B;   // the plus sign
static const int kKeyZoomOut = 0x2D;  // the hyphen-minus
static const int kKeyDecodeMode = 0xC1;
static const int kKeySlideShow = 0xC2;
static const int kKeyClose = 0xC4;

// At the left of the button strip the black fill stops short of the buttons
// and of the room where they would be: 20 with the single slide-show button,
// 120 otherwise (the whole width during a drag, which shows none).
static const int kFillShortOfButtons = 120;

// Copies part of the toolbar strip to the screen; nothing when the strip
// failed to load.
void CopyStripImage(HDC screen, int image, int x, int y) {
  HBITMAP strip = uiState.tileBitmaps[BmStrip];
  if (!strip || !SelectObject(uiState.sourceContext, strip)) return;
  BitBlt(screen, x, y, kButtonSize, kButtonSize, uiState.sourceContext, 0, kButtonSize * image,
         SRCCOPY);
}

void FillBlack(HDC screen, int left, int top, int right, int bottom) {
  if (left >= right || top >= bottom) return;
  RECT rect = {left, top, right, bottom};
  HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
  FillRect(screen, &rect, black);
  DeleteObject(black);
}

// 0 when min(value, limit) is not positive, else that minimum.
int ClampPan(int value, int limit) {
  const int v = std::min(value, limit);
  return v <= 0 ? 0 : v;
}

// Lets go of the picture. The source context gets the neutral bitmap first,
// so no later copy reads a deleted picture, and the brightness record no
// longer points into its pixels.
void ReleasePicture() {
  UiState& s = uiState;
  if (!s.picture) return;
  if (s.sourceContext) SelectObject(s.sourceContext, GetStockObject(DEFAULT_BITMAP));
  brightnessSource.adjustable = false;
  DeleteObject(s.picture);
  s.picture = nullptr;
}

void SetZoomRow(int row) {
  UiState& s = uiState;
  s.zoomIndex = row;
  s.zoomNum = kZoomTable[row].num;
  s.zoomDen = kZoomTable[row].den;
}

// True when index names a picture entry of the list as it stands.
bool IsPictureEntry(int index) {
  return index >= 0 && index < entryCount && entryList[index].kind == Picture &&
         entryList[index].name;
}

// Shows picture entry target, held to the list's pictures; nothing when
// that is the one shown. Key and wheel steps beyond the handheld's own.
void ShowPictureAt(int target) {
  UiState& s = uiState;
  target = std::max(FirstPicture(), std::min(target, entryCount - 1));
  if (target == s.currentPicture || !IsPictureEntry(target)) return;
  s.currentPicture = target;
  LoadViewerPicture(target);
  FullRepaint();
}

}  // namespace

int FirstPicture() {
  int first = 0;
  while (first < entryCount && entryList[first].kind != Picture) first++;
  return first;
}

void SetSlideShowSeconds(int seconds) {
  slideShowEvery = std::max(1, seconds * kMillisecondsPerSecond / (int)kTimerPeriod);
}

void LoadViewerPicture(int index) {
  UiState& s = uiState;
  // A path that does not fit loads nothing rather than a cut name.
  WCHAR path[kPathMax];
  bool named = index >= 0 && index < entryCount && entryList[index].name &&
               swprintf(path, kPathMax, L"%ls\\%ls", currentFolder, entryList[index].name) >= 0;
  ReleasePicture();
  if (named) s.picture = LoadPicture(mainWindow, path, 0, s.decodeMode);
  if (brightnessLevel != kNeutralLevel) ApplyBrightness(brightnessLevel);
  // An undecodable picture shows as nothing: a black screen with buttons.
  BITMAP info = {};
  if (s.picture && GetObject(s.picture, sizeof(info), &info)) {
    s.pictureWidth = info.bmWidth;
    s.pictureHeight = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  } else {
    s.pictureWidth = 0;
    s.pictureHeight = 0;
  }
  s.gridMode = false;
  s.panX = 0;
  s.panY = 0;
}

void ViewerPaint(HDC screen, BOOL erase) {
  UiState& s = uiState;
  const int W = s.clientWidth, H = s.clientHeight;
  const int n = s.zoomNum, d = s.zoomDen;
  const int w = s.pictureWidth, h = s.pictureHeight;
  const int dispW = w * n / d, dispH = h * n / d;
  // Without a picture nothing is copied; the bands make the screen black.
  const bool have = s.picture && SelectObject(s.sourceContext, s.picture);
  const HDC source = s.sourceContext;

  if (erase && (dispW <= W || dispH <= H)) {
    const int t = std::max(0, (H - dispH - kButtonSize) / 2);
    const int b = std::min(H, t + dispH);
    const int l = std::max(0, (W - dispW) / 2);
    const int r = l + dispW;
    FillBlack(screen, 0, 0, W, t);
    FillBlack(screen, 0, b, W, H);
    FillBlack(screen, 0, t, l, b);
    FillBlack(screen, r, t, W, b);
  }

  if (dispW <= W && dispH <= H - kButtonSize) {
    // The whole picture, centred above the button strip.
    if (have && n == 1 && d == 1)
      BitBlt(screen, (W - w) / 2, (H - h - kButtonSize) / 2, w, h, source, 0, 0, SRCCOPY);
    else if (have)
      StretchBlt(screen, (W - dispW) / 2, (H - dispH - kButtonSize) / 2, dispW, dispH, source, 0,
                 0, w, h, SRCCOPY);
  } else {
    // Larger than the area: a screenful from the pan offset.
    s.panX = ClampPan(s.panX, w - d * (W / n));
    s.panY = ClampPan(s.panY, h - d * ((H - kButtonSize) / n));
    const int e = d * ((h - s.panY) / n);
    if (e < H) {
      const int R = s.slideShow ? W - kButtonSize : s.dragging ? W : W - kFillShortOfButtons;
      FillBlack(screen, 0, std::max(H - kButtonSize, e), R, H);
    }
    // Where the source lies past the picture the copies give black.
    const int x = std::max(0, (W - dispW) / 2);
    const int y = std::max(0, (H - dispH - kButtonSize) / 2);
    if (have && n == 1 && d == 1)
      BitBlt(screen, x, y, W, H, source, s.panX, s.panY, SRCCOPY);
    else if (have)
      StretchBlt(screen, x, y, W, H, source, s.panX, s.panY, d * W / n, d * H / n, SRCCOPY);
  }

  if (s.slideShow) {
    CopyStripImage(screen, kStripSlideShow, W - kButtonSize, H - kButtonSize);
  } else if (!s.dragging) {
    CopyStripImage(screen, kStripClose, W - kButtonSize, H - kButtonSize);
    CopyStripImage(screen, kStripSlideShow, W - 2 * kButtonSize, H - kButtonSize);
  }
}

void ViewerPress(int x, int y) {
  UiState& s = uiState;
  // The two buttons' corner starts no drag.
  if (y >= s.clientHeight - kButtonSize && x >= s.clientWidth - 2 * kButtonSize) return;
  s.dragging = true;
  s.dragAnchorX = s.panX + x;
  s.dragAnchorY = s.panY + y;
}

void ViewerDragStep(int x, int y) {
  UiState& s = uiState;
  const int n = s.zoomNum, d = s.zoomDen;
  // The drag may go 20 pixels less far down than the paint: its limit is
  // taken on the whole height.
  const int nx = ClampPan(s.dragAnchorX - x, s.pictureWidth - d * (s.clientWidth / n));
  const int ny = ClampPan(s.dragAnchorY - y, s.pictureHeight - d * (s.clientHeight / n));
  if (nx == s.panX && ny == s.panY) return;
  s.panX = nx;
  s.panY = ny;
  QuietRepaint();
}

void ViewerRelease(int x, int y) {
  const UiState& s = uiState;
  if (y <= s.clientHeight - kButtonSize || x <= s.clientWidth - 2 * kButtonSize) return;
  const WPARAM key = x > s.clientWidth - kButtonSize ? VK_ESCAPE : VK_SPACE;
  SendMessageW(mainWindow, WM_KEYDOWN, key, 0);
}

void ViewerKey(int code) {
  UiState& s = uiState;
  switch (code) {
    case VK_SPACE:
    case kKeySlideShow:
      s.slideShow = !s.slideShow;
      FullRepaint();
      return;
    case kKeyZoomIn:
      if (s.zoomIndex <= 0) return;
      SetZoomRow(s.zoomIndex - 1);
      FullRepaint();
      return;
    case kKeyZoomOut:
      if (s.zoomIndex >= kZoomRows - 1) return;
      SetZoomRow(s.zoomIndex + 1);
      FullRepaint();
      return;
    case kKeyDecodeMode:
      // A stale index (".." at start, or past a new list) decodes nothing.
      if (!IsPictureEntry(s.currentPicture)) return;
      s.decodeMode = (s.decodeMode + 1) % 3;
      LoadViewerPicture(s.currentPicture);
      FullRepaint();
      return;
    default:
      break;
  }
  // The rest act in the viewer only.
  if (s.gridMode) return;
  switch (code) {
    case VK_DOWN:
    case VK_RIGHT:
    case VK_NEXT:
      if (s.currentPicture + 1 >= entryCount) return;
      s.currentPicture++;
      LoadViewerPicture(s.currentPicture);
      FullRepaint();
      return;
    case VK_UP:
    case VK_LEFT:
    case VK_PRIOR:
      // The first picture does not step back onto a folder.
      if (s.currentPicture < 1 || !IsPictureEntry(s.currentPicture - 1)) return;
      s.currentPicture--;
      LoadViewerPicture(s.currentPicture);
      FullRepaint();
      return;
    case VK_HOME: ShowPictureAt(FirstPicture()); return;
    case VK_END: ShowPictureAt(entryCount - 1); return;
    case VK_ESCAPE:
    case kKeyClose:
      LeaveViewer();
      return;
    case VK_RETURN:
      SendMessageW(mainWindow, WM_KEYDOWN, VK_ESCAPE, 0);
      return;
    default:
      return;
  }
}

void ViewerWheel(int notches) {
  if (!uiState.gridMode) ShowPictureAt(uiState.currentPicture + notches);
}

void LeaveViewer() {
  UiState& s = uiState;
  s.selection = s.currentPicture;
  // The picture's tile on the page; the screen guarantees a column.
  if (s.columns > 0) {
    while (s.selection - s.firstVisible >= s.tilesPerPage) s.firstVisible += s.columns;
    while (s.selection < s.firstVisible) s.firstVisible -= s.columns;
  }
  s.dragging = false;
  if (s.slideShow) {
    s.slideShow = false;
  } else {
    s.gridMode = true;
    ReleasePicture();
  }
  FullRepaint();
}

void SlideShowStep() {
  UiState& s = uiState;
  if (!s.slideShow) return;
  s.slideTicks = (s.slideTicks + 1) % slideShowEvery;
  if (s.slideTicks != 0) return;
  if (s.currentPicture + 1 < entryCount) {
    SendMessageW(mainWindow, WM_KEYDOWN, VK_DOWN, 0);
    return;
  }
  // Round again from the first picture, shown now.
  const int first = FirstPicture();
  s.currentPicture = first;
  if (first < entryCount) LoadViewerPicture(first);
  FullRepaint();
}
