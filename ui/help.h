// The help page: the keys and buttons of the view under it, over the whole
// screen until any key or tap. Window thread only.
#pragma once

#include "platform/wintypes.h"

// Shows the page for the current view (grid or viewer); a stylus drag or a
// toolbar hold under way ends.
void ShowHelp();
// Back to the view, repainted whole.
void CloseHelp();
// The help part of WM_PAINT: composed in uiState.backContext, then copied.
void HelpPaint(HDC screen);
