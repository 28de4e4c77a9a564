// A screen drawn turned onto its panel: a portrait layout on a panel mounted
// landscape (--rotate). The screen keeps its own size and coordinates; only
// what is shown and where the stylus lands are turned, by any backend.
#pragma once

#include <cstdint>

// The turns a panel takes, clockwise: the screen's top-left corner goes to
// the panel's top-right at 90, bottom-right at 180, bottom-left at 270.
bool PanelTurnValid(int degrees);

// The turn set for the program's panel (0 unless set; set before the
// backend opens, read anywhere).
void PlatformSetPanelTurn(int degrees);
int PlatformPanelTurn();

// The panel's size for a width x height screen: sides swapped at 90 and 270.
void PanelSize(int degrees, int width, int height, int* panelWidth, int* panelHeight);

// The screen (RGB565, stride in bytes) turned into panel, whose rows are
// panelStride words apart and which holds the panel's size.
void TurnScreenToPanel(int degrees, const uint16_t* screen, int width, int height, int stride,
                       uint16_t* panel, int panelStride);

// The screen point under panel point (px, py) of a width x height screen.
// Points off the panel map on along the same lines, for the caller to clamp.
void PanelPointToScreen(int degrees, int width, int height, int px, int py, int* x, int* y);
