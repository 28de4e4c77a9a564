// Fields of the platform's file formats (resources, BMP, GIF and WebP
// headers little-endian; PNG chunks, ISO-BMFF boxes and some TIFFs
// big-endian), read byte by byte so that alignment and host order never
// matter.
#pragma once

#include "platform/wintypes.h"

inline WORD ReadLe16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
inline DWORD ReadLe32(const BYTE* p) { return (DWORD)ReadLe16(p) | ((DWORD)ReadLe16(p + 2) << 16); }
inline DWORD ReadBe16(const BYTE* p) { return (DWORD)(p[0] << 8 | p[1]); }
inline DWORD ReadBe32(const BYTE* p) { return ReadBe16(p) << 16 | ReadBe16(p + 2); }
