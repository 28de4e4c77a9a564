// The window module's answer to X errors it can safely outlive, part of the
// window module. Window thread only.
#pragma once

// On SDL's X11 driver: installs an Xlib error handler that drops a
// BadMatch from SetInputFocus and hands every other error to the handler
// it replaces. SDL may answer a window manager's focus offer for a window
// that is not (or no longer) viewable, and Xlib's default handler would end
// the program for it. Does nothing on other drivers or when already done.
void SdlOutliveLateFocus();
