// The product's name and version, as --version prints them
// ("Korvane Viewer 1.0.0.1").
#pragma once

#include "platform/wintypes.h"

static const WCHAR kProductName[] = L"Korvane Viewer";

// The file version of the program's version block as "a.b.c.d". Returns
// the characters written (out always terminated when max > 0), 0 when the
// block is missing or damaged or the text does not fit in max.
int ProgramVersion(WCHAR* out, int max);
// kProductName, a space and ProgramVersion; 0 when it does not fit.
int ProgramVersionLine(WCHAR* out, int max);
