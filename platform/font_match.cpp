// fontconfig's answers for the text module, kept between runs: fontconfig
// reads its whole XML configuration on first use (some 25 million
// instructions), so it is asked only when no kept answer holds.
#include "platform/font_match.h"

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/font_answers.h"
#include "platform/utf8.h"

namespace {

const int kBoldWeight = 600;
const int kFamilyMask = 0xF0;
const int kFamilyRoman = 0x10;
const int kFamilyModern = 0x30;
// The environment that points fontconfig at another configuration.
const char* const kConfigSettings[] = {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT"};
// Characters remembered as missing from every font, per run.
const size_t kMaxMissing = 4096;

// Families tried after the face name, by the description's font family.
// The Liberation faces have the metrics of the usual Windows faces.
struct FamilyFallbacks {
  int family;
  const char* names[3];
};
const FamilyFallbacks kFallbacks[] = {
    {kFamilyRoman, {"Liberation Serif", "DejaVu Serif", "serif"}},
    {kFamilyModern, {"Liberation Mono", "DejaVu Sans Mono", "monospace"}},
    {FF_SWISS, {"Liberation Sans", "DejaVu Sans", "sans-serif"}},  // also any other family
};

// fontconfig's fallback order per query, sorted once a run; guarded by lock.
std::mutex lock;
std::map<std::string, FcFontSet*> sortedFonts;
// Characters no installed font has, per query, for this run only: a font
// installed later must still be found by the next run.
std::map<std::string, bool> missingEverywhere;

// The face name as UTF-8; characters that are no Unicode scalar are left out.
std::string Utf8Name(const WCHAR* name) {
  std::string out;
  for (int i = 0; i < LF_FACESIZE && name[i]; i++) {
    uint32_t c = (uint32_t)name[i];
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
    unsigned char b[4];
    out.append((const char*)b, (size_t)EncodeUtf8(c, b));
  }
  return out;
}

const FamilyFallbacks& FallbacksOf(const LOGFONTW& d) {
  const FamilyFallbacks* fallbacks = &kFallbacks[2];
  for (const FamilyFallbacks& f : kFallbacks)
    if (f.family == (d.lfPitchAndFamily & kFamilyMask)) fallbacks = &f;
  return *fallbacks;
}

bool IsBold(const LOGFONTW& d) { return d.lfWeight >= kBoldWeight; }

// The pattern for d, substituted as fontconfig does before a match; null
// when fontconfig cannot start.
FcPattern* PatternOf(const LOGFONTW& d) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  std::string name = Utf8Name(d.lfFaceName);
  if (!name.empty()) FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)name.c_str());
  for (const char* family : FallbacksOf(d).names)
    FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)family);
  FcPatternAddInteger(pattern, FC_WEIGHT, IsBold(d) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, d.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  if (!FcConfigSubstitute(nullptr, pattern, FcMatchPattern)) {
    FcPatternDestroy(pattern);
    return nullptr;
  }
  FcDefaultSubstitute(pattern);
  return pattern;
}

bool FileOf(FcPattern* font, FontFile* file) {
  FcChar8* path = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &path) != FcResultMatch || !path) return false;
  file->path = (const char*)path;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &file->index) != FcResultMatch) file->index = 0;
  return true;
}

bool AskFontconfig(const LOGFONTW& d, FontFile* file) {
  FcPattern* pattern = PatternOf(d);
  if (!pattern) return false;
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  bool found = match && FileOf(match, file);
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return found;
}

// The fonts in fallback order for d, sorted on first use. Called with lock.
FcFontSet* SortedFor(const LOGFONTW& d, const std::string& key) {
  auto found = sortedFonts.find(key);
  if (found != sortedFonts.end()) return found->second;
  FcFontSet* set = nullptr;
  if (FcPattern* pattern = PatternOf(d)) {
    FcResult result;
    // Trimmed: fonts that add no character to those before them are left out.
    set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    FcPatternDestroy(pattern);
  }
  sortedFonts[key] = set;
  return set;
}

std::string CharacterKey(const std::string& query, uint32_t codePoint) {
  char prefix[16];
  snprintf(prefix, sizeof prefix, "U+%04X/", (unsigned)codePoint);
  return prefix + query;
}

}  // namespace

std::string FontQueryKey(const LOGFONTW& d) {
  // Everything PatternOf reads, and the settings that name another
  // fontconfig configuration, whose answers may differ.
  std::string key;
  for (const char* name : kConfigSettings)
    if (const char* value = getenv(name)) key += std::string(name) + "=" + value + "/";
  key += Utf8Name(d.lfFaceName);
  key += "/";
  key += FallbacksOf(d).names[0];
  key += IsBold(d) ? "/bold" : "/regular";
  key += d.lfItalic ? "/italic" : "/roman";
  return key;
}

int MatchFont(const LOGFONTW& d, bool fresh, FontFile* file) {
  std::string key = FontQueryKey(d);
  if (!fresh && FindFontAnswer(key, file)) return 1;
  if (!AskFontconfig(d, file)) return 0;
  KeepFontAnswer(key, *file);
  SaveFontAnswers();
  return 1;
}

int MatchFallbackFont(const LOGFONTW& d, uint32_t codePoint, FontFile* file) {
  std::string query = FontQueryKey(d);
  std::string key = CharacterKey(query, codePoint);
  if (FindFontAnswer(key, file)) return 1;
  std::lock_guard<std::mutex> hold(lock);
  if (missingEverywhere.count(key)) return 0;
  FcFontSet* set = SortedFor(d, query);
  for (int i = 0; set && i < set->nfont; i++) {
    FcCharSet* chars = nullptr;
    if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch || !chars ||
        !FcCharSetHasChar(chars, codePoint) || !FileOf(set->fonts[i], file))
      continue;
    KeepFontAnswer(key, *file);
    return 1;
  }
  if (missingEverywhere.size() < kMaxMissing) missingEverywhere[key] = true;
  return 0;
}
