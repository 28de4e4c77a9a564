// Key routing: the grid's direction keys and Enter, and the close keys.
#include "ui/keys.h"

#include "platform/window.h"
#include "ui/grid.h"
#include "ui/ui_state.h"

static const WPARAM kButtonClose = 0xC4;  // the hardware button that closes

LRESULT KeyPipeline(WPARAM code, LPARAM lParam) {
  if (!uiState.gridMode) return 0;
  const bool repeated = (lParam & KF_REPEAT_BIT) != 0;
  switch (code) {
    case VK_ESCAPE:
    case kButtonClose:
      if (!repeated) PostQuitMessage(0);
      break;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_RETURN:
      GridKey((int)code, repeated);
      break;
    default:
      break;
  }
  return 0;
}
