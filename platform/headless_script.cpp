// Reading headless scripts: one pass that checks every line and keeps none,
// a rewind, and a second pass that parses each line as it is run. A script
// that is not a regular file (a pipe) cannot be read twice, so it is held
// in memory and read from there.
#include "platform/headless_script.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct VerbName {
  const char* name;
  ScriptVerb verb;
};
const VerbName kVerbs[] = {{"tap", TAP},   {"press", PRESS}, {"move", MOVE},   {"release", RELEASE},
                           {"key", KEY},   {"wheel", WHEEL}, {"wait", WAIT},   {"idle", IDLE},
                           {"shot", SHOT}, {"state", STATE}, {"quit", QUIT}};

// Coordinates beyond this are not a screen position in any sense.
const long kMaxCoordinate = 32767;
const long kMaxWait = 24L * 3600 * 1000;
// Notches of one wheel command: their distance must fit the message's
// signed 16-bit field (WHEEL_DELTA each).
const long kMaxNotches = 200;
const size_t kReadChunk = 65536;

// The script being run: its stream, the text behind it when held in
// memory, the line reached, and the line buffer getline reuses.
struct Script {
  FILE* stream = nullptr;
  std::string held;
  int line = 0;
  char* buffer = nullptr;
  size_t capacity = 0;
  bool ended = false;
};
Script script;

void CloseScript() {
  if (script.stream) fclose(script.stream);
  free(script.buffer);
  script = Script();
}

bool ParseLong(const char* text, int base, long low, long high, long* out) {
  if (!text || !*text) return false;
  char* end;
  long v = strtol(text, &end, base);
  if (*end || v < low || v > high) return false;
  *out = v;
  return true;
}

bool ParseLine(char* text, int line, ScriptCommand* out) {
  const char* words[4] = {nullptr, nullptr, nullptr, nullptr};
  int count = 0;
  char* save = nullptr;
  for (char* w = strtok_r(text, " \t\r", &save); w; w = strtok_r(nullptr, " \t\r", &save)) {
    if (count == 4) return false;
    words[count++] = w;
  }
  const VerbName* v = nullptr;
  for (const VerbName& candidate : kVerbs)
    if (strcmp(words[0], candidate.name) == 0) v = &candidate;
  if (!v) return false;
  out->verb = v->verb;
  out->line = line;
  out->a = out->b = 0;
  out->file.clear();
  switch (v->verb) {
    case TAP:
    case PRESS:
    case MOVE:
    case RELEASE:
      return count == 3 && ParseLong(words[1], 10, -kMaxCoordinate, kMaxCoordinate, &out->a) &&
             ParseLong(words[2], 10, -kMaxCoordinate, kMaxCoordinate, &out->b);
    case KEY:
      if (count == 3 && strcmp(words[2], "repeat") != 0) return false;
      out->b = count == 3;
      return (count == 2 || count == 3) && ParseLong(words[1], 16, 1, 0xFF, &out->a);
    case WHEEL:
      return count == 2 && ParseLong(words[1], 10, -kMaxNotches, kMaxNotches, &out->a);
    case WAIT:
      return count == 2 && ParseLong(words[1], 10, 0, kMaxWait, &out->a);
    case SHOT: {
      if (count != 2) return false;
      out->file = words[1];
      size_t n = out->file.size();
      return (n > 4 && out->file.compare(n - 4, 4, ".bmp") == 0) ||
             (n > 4 && out->file.compare(n - 4, 4, ".png") == 0);
    }
    default:
      return count == 1;
  }
}

enum LineResult { LINE_COMMAND, LINE_BAD, LINE_END };

// The next line that holds a command, parsed into out. Blank lines and
// comments are passed over; a NUL byte makes a line bad.
LineResult NextLine(ScriptCommand* out) {
  for (;;) {
    ssize_t length = getline(&script.buffer, &script.capacity, script.stream);
    if (length < 0) return LINE_END;
    script.line++;
    char* text = script.buffer;
    if (length > 0 && text[length - 1] == '\n') text[--length] = 0;
    // strspn stops at a NUL too: a line blank up to its end, or a comment,
    // is passed over whatever follows.
    size_t first = strspn(text, " \t\r");
    if ((ssize_t)first == length || text[first] == '#') continue;
    if (memchr(text, 0, (size_t)length) != nullptr) return LINE_BAD;
    return ParseLine(text, script.line, out) ? LINE_COMMAND : LINE_BAD;
  }
}

bool CannotRead(const char* path, FILE* errors, int* badLine) {
  if (errors) fprintf(errors, "cannot read the script %s\n", path);
  if (badLine) *badLine = 0;
  CloseScript();
  return false;
}

// Checks every line of the open stream, then rewinds it for the run.
bool CheckAndRewind(const char* path, FILE* errors, int* badLine) {
  ScriptCommand scratch;
  LineResult result;
  while ((result = NextLine(&scratch)) == LINE_COMMAND) {
  }
  if (result == LINE_BAD) {
    if (errors) fprintf(errors, "script line %d: not understood\n", script.line);
    if (badLine) *badLine = script.line;
    CloseScript();
    return false;
  }
  if (ferror(script.stream) || fseeko(script.stream, 0, SEEK_SET) != 0) {
    return CannotRead(path, errors, badLine);
  }
  script.line = 0;
  return true;
}

// Streams over the held text; an empty text needs none.
bool OpenHeld() {
  if (script.held.empty()) return true;
  script.stream = fmemopen(&script.held[0], script.held.size(), "r");
  return script.stream != nullptr;
}

}  // namespace

bool ScriptOpenFile(const char* path, FILE* errors, int* badLine) {
  CloseScript();
  script.stream = fopen(path, "rb");
  if (!script.stream) return CannotRead(path, errors, badLine);
  struct stat st;
  if (fstat(fileno(script.stream), &st) != 0) return CannotRead(path, errors, badLine);
  if (!S_ISREG(st.st_mode)) {
    // Read once, kept: a pipe gives its text a single time.
    FILE* once = script.stream;
    script.stream = nullptr;
    char chunk[kReadChunk];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, once)) > 0) script.held.append(chunk, n);
    bool failed = ferror(once) != 0;
    fclose(once);
    if (failed || !OpenHeld()) return CannotRead(path, errors, badLine);
    if (!script.stream) return true;
  }
  return CheckAndRewind(path, errors, badLine);
}

bool ScriptOpenText(const char* text, FILE* errors, int* badLine) {
  CloseScript();
  script.held = text ? text : "";
  if (!OpenHeld()) return CannotRead("text", errors, badLine);
  return !script.stream || CheckAndRewind("text", errors, badLine);
}

bool ScriptNext(ScriptCommand* out) {
  if (!script.stream || script.ended) return false;
  LineResult result = NextLine(out);
  if (result == LINE_BAD) {
    // Checked before the run: the file was changed under it.
    fprintf(stderr, "script line %d: changed during the run\n", script.line);
    exit(1);
  }
  return result == LINE_COMMAND;
}

void ScriptEnd() { script.ended = true; }
