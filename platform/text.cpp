// Text drawing: to be replaced by the FreeType renderer.
#include "platform/gdi_internal.h"

void FreeFontFace(FontFace*) {}

int DrawTextW(HDC, const WCHAR*, int, RECT*, UINT) { return 0; }
