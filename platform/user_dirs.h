// The user's own folders as the desktop names them (XDG user directories).
#pragma once

#include <cstddef>

// The host path of the user's pictures folder: XDG_PICTURES_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs (~/.config when unset), else from the
// environment, else the home folder; the first that is an existing folder.
// Returns 0 (out empty) when none is, or it does not fit in size bytes.
int PlatformPicturesFolder(char* out, size_t size);
