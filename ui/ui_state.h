// The state the two views share, the layout numbers, and the repaint
// requests. One process-wide record, touched by the window's thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/picture.h"
#include "platform/wintypes.h"

// Layout, in pixels.
static const int kTileWidth = 70;     // a tile cell
static const int kTileHeight = 95;
static const int kTileSize = 64;      // the tile image inside it
static const int kGridLeft = 5;       // x of the first column's tile
static const int kGridTop = 25;       // y of the first row's tile
static const int kToolbarWidth = 20;  // the toolbar column at the right
static const int kButtonSize = 20;    // toolbar and viewer buttons, the thumb
static const int kTitleHeight = 20;
static const int kTrackTop = 40;      // the scroll track starts below the up arrow
// The track ends 20 above the bottom and the thumb is 20 high: its top runs
// over H - 80 pixels.
static const int kTrackSlack = 80;
static const int kWellInset = 5;      // the black square behind a thumbnail
static const int kWellEnd = 59;
static const int kLabelTop = 67;      // the name box, below the tile
static const int kLabelBottom = 167;
static const int kNameBoxWidth = 69;
static const int kMeasureWidth = 200;  // the box a label is measured in
static const int kTitleLeft = 5;
static const int kTitleTop = 2;
static const int kTitleBottom = 18;
static const int kTitleEdge = 2;      // title bar piece: edges and middle
static const int kTitleMiddle = 16;
static const COLORREF kTextColor = RGB(0, 0, 128);

// The periodic timer and the full-screen request it repeats.
static const unsigned kTimerId = 275;
static const unsigned kTimerPeriod = 250;  // milliseconds
static const int kFullScreenEvery = 20;    // ticks: 5 s
static const int kFullScreenStart = 18;    // the second tick after creation asks first
static const unsigned kFullScreenFlags = 0x2A;  // hide task bar, input-panel button, Start icon

static const int kZoomStartRow = 2;  // 1 : 1
static const int kMaxTrackRows = 50;  // rows moved each way per thumb step
static const int kTrackNear = 10;     // how close the thumb's centre comes to the stylus

// Toolbar control held by the stylus.
enum ToolbarHold { HoldNone = 0, HoldUp = 1, HoldDown = 2, HoldThumb = 3 };

// The ten bitmaps loaded at creation, in this order (kTileBitmapIds).
enum TileBitmap {
  BmFolder,            // 104
  BmPicture,           // 105: a picture without thumbnail
  BmStrip,             // 106: ten 20x20 toolbar images stacked
  BmTitle,             // 107
  BmParent,            // 109
  BmThumb,             // 110: the scroll thumb
  BmFrame,             // 111: behind a thumbnail
  BmFolderSelected,    // 113: also behind a selected thumbnail
  BmParentSelected,    // 114
  BmPictureSelected,   // 115
  kTileBitmapCount
};
static const int kTileBitmapIds[kTileBitmapCount] = {104, 105, 106, 107, 109,
                                                     110, 111, 113, 114, 115};
// Images of the toolbar strip, at source y = 20 * k.
static const int kStripUp = 0;
static const int kStripDown = 1;
static const int kStripClose = 2;
static const int kStripSlideShow = 6;

struct UiState {
  // Layout, fixed at window creation.
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t columns = 0;
  int32_t tilesPerPage = 0;

  // View state.
  bool gridMode = true;
  int32_t firstVisible = 0;  // always a multiple of columns
  int32_t selection = 0;
  ToolbarHold toolbarHold = HoldNone;
  int32_t lastStylusY = 0;
  int32_t currentPicture = 0;
  HBITMAP picture = nullptr;  // the viewer's decoded picture; null in the grid
  int32_t pictureWidth = 0;
  int32_t pictureHeight = 0;
  int32_t zoomIndex = kZoomStartRow;
  int32_t zoomNum = 1;
  int32_t zoomDen = 1;
  int32_t panX = 0;
  int32_t panY = 0;
  bool dragging = false;
  int32_t dragAnchorX = 0;
  int32_t dragAnchorY = 0;
  bool slideShow = false;
  int32_t slideTicks = 0;
  int32_t decodeMode = FIT_SCREEN_FINE;
  int32_t fullScreenTicks = kFullScreenStart;
  uint32_t lastKeyTick = 0;
  // Inputs beyond the handheld's: the help page over the view, a stylus
  // press that closed it (its moves and release are dropped), and the part
  // of a notch a fine wheel has turned so far.
  bool helpShown = false;
  bool stylusSpent = false;
  int32_t wheelRest = 0;

  // Painting resources: created once, kept until the process ends.
  HDC backContext = nullptr;    // the grid is composed here; first paint
  HDC sourceContext = nullptr;  // sources are selected here to be copied
  HBITMAP backBitmap = nullptr;
  HFONT uiFont = nullptr;
  HBITMAP tileBitmaps[kTileBitmapCount] = {};
};

extern UiState uiState;

// Whole client area with the erase flag set, painted at once.
void FullRepaint();
// The same without the erase flag.
void QuietRepaint();

// The headless `state` line: gridMode selection firstVisible currentPicture
// zoomIndex panX panY slideShow decodeMode entryCount currentFolder, the
// folder in UTF-8 with its stray host bytes restored, the root as nothing.
void ReportUiState(char* line, size_t size);
