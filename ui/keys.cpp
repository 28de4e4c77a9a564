// Key routing: the grid's direction keys and Enter, and the close keys.
#include "ui/keys.h"

#include "platform/window.h"
#include "ui/grid.h"
#include "ui/ui_state.h"
#include "ui/viewer.h"

static const WPARAM kButtonClose = 0xC4;  // the hardware button that closes

LRESULT KeyPipeline(WPARAM code, LPARAM lParam) {
  const bool repeated = (lParam & KF_REPEAT_BIT) != 0;
  // Stand-in routing of the viewer's keys, unfiltered, until the pipeline lands.
  if (!uiState.gridMode || code == 0x20 || code == 0x2B || code == 0x2D || code == 0xC1 ||
      code == 0xC2)
    return ViewerKey((int)code), 0;
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
