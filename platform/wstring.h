// The runtime's wide-string helpers that the host C library lacks.
#pragma once

#include "platform/wintypes.h"

// One character folded to lower case with the full Unicode tables (not
// ASCII only), whatever the process locale.
WCHAR FoldCase(WCHAR c);
// Both strings folded to lower case, then compared by code value; a prefix
// sorts first. Negative, zero or positive.
int _wcsicmp(const WCHAR* a, const WCHAR* b);
// Heap copy (free() releases it), or null when memory runs out.
WCHAR* _wcsdup(const WCHAR* s);
