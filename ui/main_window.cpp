// The one window procedure: creation, painting, timer ticks and the routing
// of stylus, key and worker messages to the two views.
#include "ui/main_window.h"

#include <cwchar>

#include "browser/entry_list.h"
#include "browser/settings.h"
#include "imaging/brightness.h"
#include "imaging/photos.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/shell_ui.h"
#include "platform/user_dirs.h"
#include "platform/window.h"
#include "platform/wstring.h"
#include "ui/grid.h"
#include "ui/help.h"
#include "ui/keys.h"
#include "ui/ui_state.h"
#include "ui/viewer.h"

static const WCHAR kFontFace[] = L"Arial";
static const int kFontHeight = 12;
static const size_t kHostPathChars = 4096;
// Posted at creation after the first two ticks, so the show's first
// picture stays its whole interval.
static const UINT kStartSlideShow = WM_USER + 2;

WCHAR startPath[kPathMax];
bool startPathUnusable;
bool startSlideShow;
HINSTANCE appInstance;

namespace {

// Stylus coordinates: both halves of lParam, unsigned.
int StylusX(LPARAM lParam) { return (int)(WORD)((uintptr_t)lParam & 0xFFFF); }
int StylusY(LPARAM lParam) { return (int)(WORD)(((uintptr_t)lParam >> 16) & 0xFFFF); }

void RequestFullScreen(HWND hwnd) {
  SHFullScreen(hwnd, kFullScreenFlags);
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// photosMode, first start: the user's pictures folder when it lies inside
// the root; the root otherwise, as the handheld started.
void ChoosePicturesFolder() {
  char host[kHostPathChars];
  WCHAR device[kPathMax];
  if (PlatformPicturesFolder(host, sizeof host) && HostPathToDevice(host, device, kPathMax))
    wcscpy(currentFolder, device);
}

// Sets currentFolder from the start path or the settings and lists it, the
// root when that fails. True when the folder listed is the one chosen.
bool ListStartFolder() {
  if (startPathUnusable) {
    currentFolder[0] = 0;
    ScanFolder(currentFolder);
    return false;
  }
  if (startPath[0]) {
    wcscpy(currentFolder, startPath);
    WCHAR* cut = wcsrchr(currentFolder, L'\\');
    if (cut) *cut = 0;
  } else if (!LoadSettings() && photosMode) {
    ChoosePicturesFolder();
  }
  if (ScanFolder(currentFolder)) return true;
  currentFolder[0] = 0;
  ScanFolder(currentFolder);
  return false;
}

// Opens the entry the start path names, as if its tile were tapped.
void OpenStartEntry() {
  const WCHAR* slash = wcsrchr(startPath, L'\\');
  if (!slash) return;
  for (int i = 0; i < entryCount; i++) {
    if (_wcsicmp(entryList[i].name, slash + 1) == 0) {
      uiState.selection = i;
      OpenEntry(i);
      return;
    }
  }
}

// --slideshow: the show runs from the picture opened at start, else from
// the folder's first picture; a folder without pictures stays in the grid.
void StartSlideShow() {
  UiState& s = uiState;
  if (s.gridMode) OpenEntry(FirstPicture());
  if (s.gridMode) return;
  s.slideShow = true;
  s.slideTicks = 0;
  FullRepaint();
}

void Create(HWND hwnd) {
  UiState& s = uiState;
  ApplyBrightness(100);
  mainWindow = hwnd;  // before any scan starts a worker that posts to it
  RECT client = {};
  GetClientRect(hwnd, &client);
  s.clientWidth = client.right;
  s.clientHeight = client.bottom;
  s.columns = (s.clientWidth - kToolbarWidth) / kTileWidth;
  s.tilesPerPage = s.columns * ((s.clientHeight - kGridTop) / kTileHeight);
  for (int i = 0; i < kTileBitmapCount; i++)
    s.tileBitmaps[i] = LoadBitmapW(appInstance, MAKEINTRESOURCEW(kTileBitmapIds[i]));
  // After a fall-back to the root the start path's name is not looked for
  // there: "\Missing\a.jpg" must not open "\a.jpg".
  const bool listedStartFolder = ListStartFolder();
  LOGFONTW font = {};
  font.lfHeight = kFontHeight;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = FF_SWISS;
  wcscpy(font.lfFaceName, kFontFace);
  s.uiFont = CreateFontIndirectW(&font);
  SetTimer(hwnd, kTimerId, kTimerPeriod, nullptr);
  PostMessageW(hwnd, WM_TIMER, 0, 0);
  PostMessageW(hwnd, WM_TIMER, 0, 0);
  RequestFullScreen(hwnd);
  GXOpenInput();
  if (listedStartFolder && startPath[0]) OpenStartEntry();
  if (startSlideShow) PostMessageW(hwnd, kStartSlideShow, 0, 0);
}

void Paint(HWND hwnd) {
  UiState& s = uiState;
  PAINTSTRUCT paint;
  HDC screen = BeginPaint(hwnd, &paint);
  if (!s.backContext) {
    s.backContext = CreateCompatibleDC(screen);
    s.sourceContext = CreateCompatibleDC(screen);
    RECT client = {};
    GetClientRect(hwnd, &client);
    s.backBitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    SelectObject(s.backContext, s.backBitmap);
  }
  if (s.helpShown)
    HelpPaint(screen);
  else if (s.gridMode)
    GridPaint(screen);
  else
    ViewerPaint(screen, paint.fErase);
  EndPaint(hwnd, &paint);
}

void TimerTick(HWND hwnd) {
  UiState& s = uiState;
  s.fullScreenTicks = (s.fullScreenTicks + 1) % kFullScreenEvery;
  if (s.fullScreenTicks == 0) RequestFullScreen(hwnd);
  if (s.helpShown) return;  // the slide show waits under the page
  if (!s.gridMode) {
    SlideShowStep();
    return;
  }
  switch (s.toolbarHold) {
    case HoldUp:
      SendMessageW(hwnd, WM_KEYDOWN, VK_UP, 0);
      break;
    case HoldDown:
      SendMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
      break;
    case HoldThumb:
      ThumbTrackStep();
      break;
    case HoldNone:
      break;
  }
}

}  // namespace

LRESULT MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  UiState& s = uiState;
  switch (message) {
    case WM_CREATE:
      Create(hwnd);
      return 0;
    case WM_DESTROY:
      GXCloseInput();
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_KEYDOWN:
      return KeyDown(wParam, lParam);
    case WM_TIMER:
      TimerTick(hwnd);
      return 0;
    case WM_MOUSEWHEEL:
      MouseWheel(wParam);
      return 0;
    case WM_MOUSEMOVE:
      if (s.helpShown || s.stylusSpent) return 0;
      s.lastStylusY = StylusY(lParam);
      if (s.gridMode) {
        if (s.toolbarHold == HoldThumb) SendMessageW(hwnd, WM_TIMER, 0, 0);
      } else if (s.dragging) {
        ViewerDragStep(StylusX(lParam), StylusY(lParam));
      }
      return 0;
    case WM_LBUTTONDOWN:
      if (s.helpShown) {
        // The tap closes the page; its release must not act on the view.
        s.stylusSpent = true;
        CloseHelp();
        return 0;
      }
      s.stylusSpent = false;
      s.toolbarHold = HoldNone;
      s.lastStylusY = StylusY(lParam);
      if (s.gridMode)
        GridPress(StylusX(lParam), StylusY(lParam));
      else
        ViewerPress(StylusX(lParam), StylusY(lParam));
      return 0;
    case WM_LBUTTONUP:
      if (s.helpShown || s.stylusSpent) {
        s.stylusSpent = false;
        return 0;
      }
      s.lastStylusY = StylusY(lParam);
      if (s.dragging) {
        s.dragging = false;
        FullRepaint();
        return 0;
      }
      s.toolbarHold = HoldNone;
      if (s.gridMode)
        GridRelease(StylusX(lParam), StylusY(lParam));
      else
        ViewerRelease(StylusX(lParam), StylusY(lParam));
      return 0;
    case WM_THUMBNAIL_READY:
      // Only a tile of the full rows on the page repaints.
      if (s.gridMode && !s.helpShown && wParam >= (WPARAM)(UINT)s.firstVisible &&
          wParam < (WPARAM)(UINT)(s.firstVisible + s.tilesPerPage))
        QuietRepaint();
      return 0;
    case kStartSlideShow:
      StartSlideShow();
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}
