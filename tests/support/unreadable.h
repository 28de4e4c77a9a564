// Scans a folder that cannot be read. Root reads any folder, so the scan
// runs in a child process that first gives up the capabilities that let it.
#pragma once

#include <functional>
#include <string>

#include "platform/wintypes.h"

// Makes hostFolder unreadable, scans devicePath in a child process and gives
// back "result R count N" (or a line saying what went wrong); restores the
// folder's permissions.
std::string ScanUnreadable(const std::string& hostFolder, const WCHAR* devicePath);

// Runs body in a child process that first gives up every capability, so
// file permissions bind even when the tests run as root, and gives back its
// result (or a line saying what went wrong; at most 255 bytes).
std::string RunUnprivileged(const std::function<std::string()>& body);
