// Late focus errors on X11 (see x11_errors.h).
#include "platform/x11_errors.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <cstring>

namespace {

// The handler in place before ours (SDL's or Xlib's default).
XErrorHandler previousHandler = nullptr;
bool installed = false;

int DropLateFocus(Display* display, XErrorEvent* error) {
  // The window was unmapped (or not yet mapped) between the window manager's
  // offer and our answer: the focus simply stays where it is.
  if (error->request_code == X_SetInputFocus && error->error_code == BadMatch) return 0;
  return previousHandler ? previousHandler(display, error) : 0;
}

}  // namespace

void SdlOutliveLateFocus() {
  if (installed) return;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || strcmp(driver, "x11") != 0) return;
  previousHandler = XSetErrorHandler(DropLateFocus);
  installed = true;
}
