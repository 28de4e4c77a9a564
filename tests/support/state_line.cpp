#include "tests/support/state_line.h"

#include <gtest/gtest.h>

#include <sstream>

std::ostream& operator<<(std::ostream& os, const UiStateLine& s) {
  return os << "{gridMode=" << s.gridMode << " selection=" << s.selection
            << " firstVisible=" << s.firstVisible << " currentPicture=" << s.currentPicture
            << " zoomIndex=" << s.zoomIndex << " panX=" << s.panX << " panY=" << s.panY
            << " slideShow=" << s.slideShow << " decodeMode=" << s.decodeMode
            << " entryCount=" << s.entryCount << " folder=\"" << s.folder << "\"}";
}

std::string FormatStateLine(const UiStateLine& s) {
  std::ostringstream os;
  os << s.gridMode << ' ' << s.selection << ' ' << s.firstVisible << ' ' << s.currentPicture << ' '
     << s.zoomIndex << ' ' << s.panX << ' ' << s.panY << ' ' << s.slideShow << ' ' << s.decodeMode
     << ' ' << s.entryCount << ' ' << s.folder;
  return os.str();
}

UiStateLine ParseStateLine(const std::string& line) {
  UiStateLine s;
  int* fields[] = {&s.gridMode,  &s.selection, &s.firstVisible, &s.currentPicture, &s.zoomIndex,
                   &s.panX,      &s.panY,      &s.slideShow,    &s.decodeMode,     &s.entryCount};
  size_t at = 0;
  bool ok = true;
  for (int* field : fields) {
    size_t space = line.find(' ', at);
    if (space == std::string::npos) {
      ok = false;
      break;
    }
    std::string word = line.substr(at, space - at);
    try {
      size_t used = 0;
      *field = std::stoi(word, &used);
      ok = ok && used == word.size();
    } catch (const std::exception&) {
      ok = false;
    }
    at = space + 1;
  }
  if (ok) s.folder = line.substr(at);
  // Printing it back must give the same text: this rejects "01", "+1",
  // " 1" and the like that stoi lets through.
  if (!ok || FormatStateLine(s) != line) {
    ADD_FAILURE() << "not a state line: \"" << line << "\"";
    s = UiStateLine{};
    s.gridMode = -1;  // never equal to a real line
  }
  return s;
}

std::vector<UiStateLine> ParseStateLines(const std::string& out) {
  if (!out.empty() && out.back() != '\n')
    ADD_FAILURE() << "output not ended by a line end: \"" << out << "\"";
  std::vector<UiStateLine> lines;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    lines.push_back(ParseStateLine(out.substr(at, end - at)));
    at = end + 1;
  }
  return lines;
}
