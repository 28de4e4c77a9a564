// The headless "state" line read into named fields, so tests say which
// field they mean instead of counting positions in a string.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct UiStateLine {
  // Defaults are the state a folder opens in: the grid, entry 0 selected,
  // zoom row 2 (1 : 1), fit mode 2. A designated initializer names only the
  // fields that differ; comparing whole lines still checks every field.
  int gridMode = 1;
  int selection = 0;
  int firstVisible = 0;
  int currentPicture = 0;
  int zoomIndex = 2;
  int panX = 0;
  int panY = 0;
  int slideShow = 0;
  int decodeMode = 2;
  int entryCount = 0;
  std::string folder;  // device path in UTF-8, the root as ""

  bool operator==(const UiStateLine&) const = default;
};

// Field names in failure messages.
std::ostream& operator<<(std::ostream& os, const UiStateLine& s);

// The line exactly as the viewer prints it.
std::string FormatStateLine(const UiStateLine& s);

// One line without its line end. Anything but the exact printed form (extra
// spaces, leading zeros, missing fields) fails the running test, so a parsed
// match is as strict as comparing the text.
UiStateLine ParseStateLine(const std::string& line);

// A whole output of state lines; each must end with "\n".
std::vector<UiStateLine> ParseStateLines(const std::string& out);
