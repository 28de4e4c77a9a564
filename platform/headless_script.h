// The headless backend's script: checked whole before anything runs, then
// read again one command at a time as the run asks for them, so a script
// file of millions of lines is never held in memory. A script that cannot be
// read twice (a pipe) is held whole. The syntax is described in
// backend_headless.h.
#pragma once

#include <cstdio>
#include <string>

enum ScriptVerb { TAP, PRESS, MOVE, RELEASE, KEY, WHEEL, WAIT, IDLE, SHOT, STATE, QUIT };

struct ScriptCommand {
  ScriptVerb verb;
  int line;
  long a = 0, b = 0;  // coordinates, key code and repeat flag, notches, or milliseconds
  std::string file;
};

// Opens and checks the script at path, replacing any script before it. A
// script that cannot be read, or has a line not understood, is reported to
// errors (with *badLine its line, 0 when it could not be read) and gives
// false; there is no script then.
bool ScriptOpenFile(const char* path, FILE* errors, int* badLine);
// The same over text (tests).
bool ScriptOpenText(const char* text, FILE* errors, int* badLine);
// The next command of the script; false at its end, after ScriptEnd, or
// with no script.
bool ScriptNext(ScriptCommand* out);
// No more commands are read (the quit command).
void ScriptEnd();
