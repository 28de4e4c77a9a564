// Which font file draws a font description, and which draws a character the
// description's font lacks: fontconfig's answers, kept in the user's cache
// folder (platform/font_answers.h) so that a start with known answers never
// loads fontconfig's configuration.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi.h"

// A font file and the face in it.
struct FontFile {
  std::string path;
  int index = 0;
};

// What a font description asks of fontconfig, as one line of text (the
// answers' key).
std::string FontQueryKey(const LOGFONTW& description);

// The font file for description. fresh: ask fontconfig even when an answer
// is kept (the kept file would not load). 1 with *file set, else 0.
int MatchFont(const LOGFONTW& description, bool fresh, FontFile* file);

// The first font in fontconfig's fallback order for description that has
// the character. 1 with *file set; 0 when no installed font has it.
int MatchFallbackFont(const LOGFONTW& description, uint32_t codePoint, FontFile* file);
