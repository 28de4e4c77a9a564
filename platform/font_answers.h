// The cache file of font answers: a query's text to a font file and face,
// each checked against the file's size and modification time when read, in
// $XDG_CACHE_HOME/korvane-viewer/fonts (else ~/.cache/korvane-viewer/fonts).
//
// Contract: thread-safe. A damaged, foreign or oversized cache file counts
// as empty, and the next answer kept replaces it; every write replaces the
// file atomically (a temporary file renamed over it). Nothing here fails
// loudly: without a cache folder the answers are kept for the run only.
#pragma once

#include <string>

#include "platform/font_match.h"

// The kept answer for key whose font file is still the one it was. 1 with
// *file set, else 0.
int FindFontAnswer(const std::string& key, FontFile* file);
// Keeps an answer for the run; SaveFontAnswers writes it to the cache file.
void KeepFontAnswer(const std::string& key, const FontFile& file);
// Writes the answers to the cache file when any was kept since the last
// write: once per label drawn at most, however many characters it added.
void SaveFontAnswers();
// The cache file's path: "" when no cache folder can be named.
std::string FontAnswersPath();
