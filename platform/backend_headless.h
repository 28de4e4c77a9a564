// The headless backend: no display, a virtual clock that moves only when the
// script says, and input from a script of one command a line:
//   tap X Y | press X Y | move X Y | release X Y   stylus, panel pixels
//   key CODE [repeat]   WM_KEYDOWN with CODE (hex, as the window receives it)
//   wheel N             WM_MOUSEWHEEL of N notches, negative up (toward the start)
//   wait MS             moves the clock, firing every timer tick on the way
//   idle                until the thumbnail worker ended and nothing is queued
//   shot FILE           .bmp: the panel's 16-bit words; .png: 8-bit channels
//   state               prints the user interface's state line
//   quit                closes the window
// Blank lines and lines starting with # are skipped. The end of the script
// closes the window too. The panel is the screen turned by the panel turn
// (platform/panel_turn.h): the same as the screen unless --rotate is given.
#pragma once

#include <cstdio>

#include "platform/backend.h"

// Reads and checks the whole script. On a malformed line prints its number
// to errors and returns 0 (*badLine set); nothing runs then.
int HeadlessLoadScript(const char* path, FILE* errors, int* badLine);
// Text instead of a file (tests).
int HeadlessLoadScriptText(const char* text, FILE* errors, int* badLine);
// The backend; state lines go to out.
const PlatformBackend* HeadlessBackend(FILE* out);

// The screen, turned onto the panel, as a BMP file (16-bit, bit-field masks,
// rows bottom-up) or a PNG file (8-bit channels). 1 on success.
int WriteScreenBmp(const char* path);
int WriteScreenPng(const char* path);
