// The one remembered setting: the folder last opened, kept in the registry
// under HKEY_LOCAL_MACHINE\Software\Korvane\Viewer, value "Dir".
#pragma once

// Writes currentFolder as "Dir". Window thread.
void SaveSettings();
// Replaces currentFolder with "Dir" (trailing backslashes dropped), or the
// root when it is missing, not a string, or longer than a folder path
// (kPathMax - 1 characters). True when a folder was remembered (the root
// included). Window thread.
bool LoadSettings();
