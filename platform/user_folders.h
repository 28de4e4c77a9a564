// The program's own folders in the user's home, where the desktop's
// conventions put them.
#pragma once

#include <cstddef>

// The user's home: HOME when absolute, else the user database's entry when
// that is absolute. 1 when out holds it, 0 when none is known or it does not fit.
int UserHomeFolder(char* out, size_t outSize);

// $variable/korvane-viewer when the variable holds an absolute path (a
// relative one is to be ignored), else ~/homeFallback/korvane-viewer; the
// home comes from HOME, or the user database when HOME is not absolute.
// 1 when out holds it, 0 when no home is known or it does not fit.
// variable: XDG_CONFIG_HOME with ".config", XDG_CACHE_HOME with ".cache".
int ProgramUserFolder(const char* variable, const char* homeFallback, char* out, size_t outSize);

// Makes the host folder and its parents where missing, for the user alone.
void MakeHostFolders(const char* folder);
