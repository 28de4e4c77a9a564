// Little-endian fields of the platform's file formats (resources, BMP
// headers), read byte by byte so that alignment and host order never matter.
#pragma once

#include "platform/wintypes.h"

inline WORD ReadLe16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
inline DWORD ReadLe32(const BYTE* p) { return (DWORD)ReadLe16(p) | ((DWORD)ReadLe16(p + 2) << 16); }
