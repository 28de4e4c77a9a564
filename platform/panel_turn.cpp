// Turning the screen onto its panel and the stylus back: one mapping of
// panel points to screen points, used for both.
#include "platform/panel_turn.h"

#include <atomic>

namespace {

std::atomic<int> panelTurn{0};

}  // namespace

bool PanelTurnValid(int degrees) {
  return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

void PlatformSetPanelTurn(int degrees) { panelTurn.store(PanelTurnValid(degrees) ? degrees : 0); }

int PlatformPanelTurn() { return panelTurn.load(); }

void PanelSize(int degrees, int width, int height, int* panelWidth, int* panelHeight) {
  const bool sideways = degrees == 90 || degrees == 270;
  *panelWidth = sideways ? height : width;
  *panelHeight = sideways ? width : height;
}

void PanelPointToScreen(int degrees, int width, int height, int px, int py, int* x, int* y) {
  switch (degrees) {
    case 90:
      *x = py;
      *y = height - 1 - px;
      return;
    case 180:
      *x = width - 1 - px;
      *y = height - 1 - py;
      return;
    case 270:
      *x = width - 1 - py;
      *y = px;
      return;
    default:
      *x = px;
      *y = py;
      return;
  }
}

void TurnScreenToPanel(int degrees, const uint16_t* screen, int width, int height, int stride,
                       uint16_t* panel, int panelStride) {
  int panelWidth, panelHeight;
  PanelSize(degrees, width, height, &panelWidth, &panelHeight);
  // Each panel row walks a screen column or row: the start point and the
  // step between neighbours come from the one mapping.
  const int strideWords = stride / 2;
  for (int py = 0; py < panelHeight; py++) {
    int x0, y0, x1, y1;
    PanelPointToScreen(degrees, width, height, 0, py, &x0, &y0);
    PanelPointToScreen(degrees, width, height, 1, py, &x1, &y1);
    const long step = (long)(y1 - y0) * strideWords + (x1 - x0);
    long at = (long)y0 * strideWords + x0;
    uint16_t* out = panel + (long)py * panelStride;
    for (int px = 0; px < panelWidth; px++, at += step) out[px] = screen[at];
  }
}
