// Placeholder until the gdk-pixbuf decoder lands: decodes nothing.
#include "platform/imgdecmp.h"

HRESULT DecompressImageIndirect(DecompressImageInfo*) { return E_FAIL; }
