// The folder grid: painting, stylus hits, thumb tracking, keys, opening an
// entry.
#include "ui/grid.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "browser/entry_list.h"
#include "imaging/photos.h"
#include "platform/gdi.h"
#include "platform/window.h"
#include "browser/settings.h"
#include "ui/ui_state.h"
#include "ui/viewer.h"

static const WCHAR kTitleWhenRoot[] = L"Korvane Viewer";
// photosMode: a folder cut to the list's limit says so after its path.
static const WCHAR kTitleCutFormat[] = L"%ls (first %d of %d)";
static const int kTitleMax = kPathMax + 64;
// photosMode: a picture that gave no thumbnail gets a red cross on white in
// the bottom right corner of its placeholder, inside the picture's frame.
static const int kFailMarkEnd = 56;  // first tile pixel past the mark, both ways
static const int kFailMarkSize = 11;
static const COLORREF kFailMarkColor = RGB(255, 0, 0);
// photosMode: the thumb crosses the longest list in about this many steps.
static const int kPhotosTrackSteps = 10;

namespace {

// Selects bitmap into the source context; false (and nothing selected)
// when it failed to load, so no copy takes the previous source instead.
bool SelectSource(HBITMAP bitmap) {
  return bitmap && SelectObject(uiState.sourceContext, bitmap) != nullptr;
}

// Copies a whole bitmap, or the part of it at (srcX, srcY), into the back
// context; a bitmap that failed to load is skipped.
void CopyBitmap(HBITMAP bitmap, int x, int y, int width, int height, int srcX, int srcY) {
  if (SelectSource(bitmap))
    BitBlt(uiState.backContext, x, y, width, height, uiState.sourceContext, srcX, srcY, SRCCOPY);
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

void PaintFailMark(int x, int y) {
  const int left = x + kFailMarkEnd - kFailMarkSize, top = y + kFailMarkEnd - kFailMarkSize;
  FillSolid(uiState.backContext, RECT{left, top, left + kFailMarkSize, top + kFailMarkSize},
            RGB(255, 255, 255));
  HBRUSH red = CreateSolidBrush(kFailMarkColor);
  // Two diagonals, two pixels wide, one pixel inside the white square.
  for (int i = 1; i < kFailMarkSize - 2; i++) {
    RECT down = {left + i, top + i, left + i + 2, top + i + 1};
    RECT up = {left + kFailMarkSize - 2 - i, top + i, left + kFailMarkSize - i, top + i + 1};
    FillRect(uiState.backContext, &down, red);
    FillRect(uiState.backContext, &up, red);
  }
  DeleteObject(red);
}

void PaintTile(int idx, int x, int y) {
  const FolderEntry& e = entryList[idx];
  const bool selected = idx == uiState.selection;
  HBITMAP* bm = uiState.tileBitmaps;
  // The worker stores the handle before the size, under the lock.
  LockEntryList();
  HBITMAP thumb = e.thumbnail;
  int thumbWidth = e.thumbnailWidth;
  int thumbHeight = e.thumbnailHeight;
  const bool failed = e.thumbnailFailed;
  UnlockEntryList();
  // Only this thread deletes thumbnails (by a scan, or by ShowPage before the
  // tiles are painted), so thumb stays valid.
  if (e.kind == Picture && thumb) {
    CopyBitmap(bm[selected ? BmFolderSelected : BmFrame], x, y, kTileSize, kTileSize, 0, 0);
    FillSolid(uiState.backContext, RECT{x + kWellInset, y + kWellInset, x + kWellEnd, y + kWellEnd},
              RGB(0, 0, 0));
    CopyBitmap(thumb, x + (kTileSize - thumbWidth) / 2, y + (kTileSize - thumbHeight) / 2,
               thumbWidth, thumbHeight, 0, 0);
  } else {
    TileBitmap which;
    if (e.kind == Folder && e.name[0] == L'.')
      which = selected ? BmParentSelected : BmParent;
    else if (e.kind == Folder)
      which = selected ? BmFolderSelected : BmFolder;
    else
      which = selected ? BmPictureSelected : BmPicture;
    CopyBitmap(bm[which], x, y, kTileSize, kTileSize, 0, 0);
    if (photosMode && e.kind == Picture && failed) PaintFailMark(x, y);
  }

  HDC back = uiState.backContext;
  SetTextColor(back, kTextColor);
  SetBkMode(back, TRANSPARENT);
  RECT measured = {0, y + kLabelTop, kMeasureWidth, y + kLabelBottom};
  DrawTextW(back, e.label, -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  // The box ends where the next row's tile begins: a long name is cut
  // there rather than drawn over that tile.
  RECT box = {x, y + kLabelTop, x + kNameBoxWidth, y + kTileHeight};
  UINT format = DT_WORDBREAK | DT_NOPREFIX;
  if (measured.right - measured.left <= kNameBoxWidth) format |= DT_CENTER;
  DrawTextW(back, e.label, -1, &box, format);
}

void PaintTitleBar() {
  // The colour and mode last set for a label still apply.
  const WCHAR* title = currentFolder[0] ? currentFolder : kTitleWhenRoot;
  WCHAR cut[kTitleMax];
  if (photosMode && entriesFound > kPhotosEntryLimit &&
      swprintf(cut, kTitleMax, kTitleCutFormat, title, kPhotosEntryLimit, (int)entriesFound) >= 0)
    title = cut;
  PaintTitle(title);
}

void PaintToolbar() {
  const int W = uiState.clientWidth, H = uiState.clientHeight;
  const int x = W - kToolbarWidth;
  HBITMAP strip = uiState.tileBitmaps[BmStrip];
  PaintCloseButton();
  if (entryCount <= uiState.tilesPerPage) return;
  CopyBitmap(strip, x, kTitleHeight, kButtonSize, kButtonSize, 0, kButtonSize * kStripUp);
  CopyBitmap(strip, x, H - kButtonSize, kButtonSize, kButtonSize, 0, kButtonSize * kStripDown);
  CopyBitmap(uiState.tileBitmaps[BmThumb], x, kTrackTop + ThumbOffset(uiState.firstVisible),
             kButtonSize, kButtonSize, 0, 0);
}

// The largest first entry: the page that ends with the list's last row, as
// far as the down arrow goes.
int LastFirstVisible() {
  const UiState& s = uiState;
  if (entryCount <= s.tilesPerPage || s.columns <= 0) return 0;
  return (entryCount - s.tilesPerPage + s.columns - 1) / s.columns * s.columns;
}

// Selects sel with first as the first entry shown, both held to the list,
// then moved by rows until the selection is on the page.
void MoveSelection(int sel, int first) {
  UiState& s = uiState;
  sel = std::max(0, std::min(sel, entryCount - 1));
  first = std::max(0, std::min(first, LastFirstVisible()));
  while (sel - first >= s.tilesPerPage) first += s.columns;
  while (sel < first) first -= s.columns;
  if (sel == s.selection && first == s.firstVisible) return;
  s.selection = sel;
  s.firstVisible = first;
  QuietRepaint();
}

}  // namespace

void PaintTitle(const WCHAR* title) {
  const int W = uiState.clientWidth;
  HBITMAP piece = uiState.tileBitmaps[BmTitle];
  CopyBitmap(piece, 0, 0, kTitleEdge, kTitleHeight, 0, 0);
  if (SelectSource(piece))
    StretchBlt(uiState.backContext, kTitleEdge, 0, W - kToolbarWidth - 2 * kTitleEdge,
               kTitleHeight, uiState.sourceContext, kTitleEdge, 0, kTitleMiddle, kTitleHeight,
               SRCCOPY);
  CopyBitmap(piece, W - kToolbarWidth - kTitleEdge, 0, kTitleEdge, kTitleHeight,
             kTitleEdge + kTitleMiddle, 0);
  // No prefix, so "Tom & Jerry" keeps its "&". DT_VCENTER acts on single
  // lines only, so the title sits at the top of its box.
  RECT box = {kTitleLeft, kTitleTop, W - kToolbarWidth, kTitleBottom};
  DrawTextW(uiState.backContext, title, -1, &box, DT_VCENTER | DT_NOPREFIX);
}

void PaintCloseButton() {
  CopyBitmap(uiState.tileBitmaps[BmStrip], uiState.clientWidth - kToolbarWidth, 0, kButtonSize,
             kButtonSize, 0, kButtonSize * kStripClose);
}

int ThumbOffset(int first) {
  const UiState& s = uiState;
  if (s.columns <= 0) return 0;
  const int64_t track = s.clientHeight - kTrackSlack;
  const int64_t span = entryCount + entryCount % s.columns - s.tilesPerPage;
  if (span <= 0) return 0;
  return (int)std::min(track, track * first / span);
}

void GridPaint(HDC screen) {
  const UiState& s = uiState;
  // The worker's window follows what is painted: the full rows and the
  // partly shown one.
  ShowPage(s.firstVisible, s.tilesPerPage + s.columns);
  SelectObject(s.backContext, s.uiFont);
  FillSolid(s.backContext, RECT{0, 0, s.clientWidth, s.clientHeight}, RGB(255, 255, 255));
  // The full rows and one more, partly shown.
  for (int i = 0; s.firstVisible + i < entryCount && entryList[s.firstVisible + i].name &&
                  i < s.tilesPerPage + s.columns;
       i++) {
    const int x = kGridLeft + kTileWidth * (i % s.columns);
    const int y = kGridTop + kTileHeight * (i / s.columns);
    PaintTile(s.firstVisible + i, x, y);
  }
  PaintTitleBar();
  PaintToolbar();
  BitBlt(screen, 0, 0, s.clientWidth, s.clientHeight, s.backContext, 0, 0, SRCCOPY);
}

void GridPress(int x, int y) {
  UiState& s = uiState;
  if (x <= s.clientWidth - kToolbarWidth) return;  // tiles act on release
  if (y > kTitleHeight && y < kTrackTop) {
    if (s.firstVisible != 0) s.toolbarHold = HoldUp;
  } else if (y > s.clientHeight - kButtonSize) {
    if (s.firstVisible < entryCount - s.tilesPerPage) s.toolbarHold = HoldDown;
  } else if (entryCount > s.tilesPerPage) {
    // The close cross and the track: track at once, then on every tick.
    s.toolbarHold = HoldThumb;
    SendMessageW(mainWindow, WM_TIMER, 0, 0);
  }
}

void GridRelease(int x, int y) {
  UiState& s = uiState;
  if (x > s.clientWidth - kToolbarWidth) {
    if (y < kTitleHeight) {
      PostQuitMessage(0);
    } else if (y > kTitleHeight && y < kTrackTop) {
      if (s.firstVisible != 0) {
        s.firstVisible -= s.columns;
        QuietRepaint();
      }
    } else if (y > s.clientHeight - kButtonSize) {
      if (s.firstVisible < entryCount - s.tilesPerPage) {
        s.firstVisible += s.columns;
        QuietRepaint();
      }
    }
    return;
  }
  // Truncation puts the left margin and the title bar into column and row 0.
  const int column = (x - kGridLeft) / kTileWidth;
  const int row = (y - kGridTop) / kTileHeight;
  // The last admitted row is the partly shown one.
  if (column < s.columns && row <= s.tilesPerPage / s.columns)
    OpenEntry(s.firstVisible + row * s.columns + column);
}

void ThumbTrackStep() {
  UiState& s = uiState;
  if (entryCount <= s.tilesPerPage) return;  // no thumb to track
  const int y = s.lastStylusY;
  const int maxRows = photosMode ? std::max(kMaxTrackRows, entryCount / s.columns / kPhotosTrackSteps)
                                 : kMaxTrackRows;
  // Whole rows until the thumb's centre is within 10 pixels of y.
  const int centre = kTrackTop + kButtonSize / 2;
  for (int n = 0; n < maxRows && s.firstVisible < entryCount - s.tilesPerPage &&
                  y > ThumbOffset(s.firstVisible) + centre + kTrackNear;
       n++)
    s.firstVisible += s.columns;
  for (int n = 0; n < maxRows && s.firstVisible != 0 &&
                  y < ThumbOffset(s.firstVisible) + centre - kTrackNear;
       n++)
    s.firstVisible -= s.columns;
  QuietRepaint();
}

void GridKey(int code, bool repeated) {
  UiState& s = uiState;
  switch (code) {
    case VK_RIGHT:
      s.selection = std::max(0, std::min(s.selection + 1, entryCount - 1));
      if (s.selection - s.firstVisible >= s.tilesPerPage) s.firstVisible += s.columns;
      QuietRepaint();
      break;
    case VK_LEFT:
      if (s.selection == 0) break;
      s.selection--;
      if (s.selection < s.firstVisible) s.firstVisible -= s.columns;
      QuietRepaint();
      break;
    case VK_UP:
      if (s.selection == 0) break;
      s.selection = std::max(0, s.selection - s.columns);
      if (s.selection < s.firstVisible) s.firstVisible -= s.columns;
      QuietRepaint();
      break;
    case VK_DOWN:
      if (s.selection >= entryCount) break;
      s.selection = std::min(entryCount - 1, s.selection + s.columns);
      if (s.selection - s.firstVisible >= s.tilesPerPage) s.firstVisible += s.columns;
      QuietRepaint();
      break;
    case VK_RETURN:
      if (!repeated) OpenEntry(s.selection);
      break;
    case VK_NEXT:
      MoveSelection(s.selection + s.tilesPerPage, s.firstVisible + s.tilesPerPage);
      break;
    case VK_PRIOR:
      MoveSelection(s.selection - s.tilesPerPage, s.firstVisible - s.tilesPerPage);
      break;
    case VK_HOME:
      MoveSelection(0, 0);
      break;
    case VK_END:
      MoveSelection(entryCount - 1, LastFirstVisible());
      break;
    default:
      break;
  }
}

void GridWheel(int notches) {
  UiState& s = uiState;
  const int before = s.firstVisible;
  // Row by row, as the toolbar's arrows go: the selection stays.
  for (; notches > 0 && s.firstVisible < entryCount - s.tilesPerPage; notches--)
    s.firstVisible += s.columns;
  for (; notches < 0 && s.firstVisible != 0; notches++) s.firstVisible -= s.columns;
  if (s.firstVisible != before) QuietRepaint();
}

void OpenParentFolder() {
  if (!currentFolder[0]) return;
  for (int i = 0; i < entryCount; i++)
    if (entryList[i].kind == Folder && entryList[i].name && entryList[i].name[0] == L'.') {
      OpenEntry(i);
      return;
    }
}

void OpenEntry(int index) {
  UiState& s = uiState;
  if (index < 0 || index >= entryCount) return;
  const FolderEntry& e = entryList[index];
  if (e.kind == Picture) {
    LoadViewerPicture(index);
    s.currentPicture = index;
    s.zoomIndex = kZoomStartRow;
    s.zoomNum = 1;
    s.zoomDen = 1;
    s.gridMode = false;
    s.slideShow = false;
    s.dragging = false;
    s.selection = index;
    s.panX = 0;
    s.panY = 0;
    FullRepaint();
    return;
  }
  WCHAR folder[kPathMax];
  if (e.name[0] == L'.') {
    // The parent entry: one level up, the root from a first-level folder.
    wcscpy(folder, currentFolder);
    WCHAR* cut = wcsrchr(folder, L'\\');
    if (cut)
      *cut = 0;
    else
      folder[0] = 0;
  } else if (swprintf(folder, kPathMax, L"%ls\\%ls", currentFolder, e.name) < 0 ||
             !CanListFolder(folder)) {
    return;  // the path or its listing pattern would not fit: stay where we are
  }
  s.selection = 0;
  wcscpy(currentFolder, folder);
  SaveSettings();
  ScanFolder(currentFolder);
  s.firstVisible = 0;
  FullRepaint();
}
