// Blocks that system libraries keep once a process and never free: not ours
// to fix, so LeakSanitizer is told. fontconfig loses a few while it parses
// its configuration; the desktop window's libraries (SDL's D-Bus and X11
// connections, the GL driver) hold theirs until the process ends.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libSDL2\n"
         "leak:libX11.so\n"
         "leak:libxcb\n"
         "leak:libGLX\n"
         "leak:libGL.so\n"
         "leak:libEGL\n"
         "leak:_dri.so\n"
         "leak:libLLVM\n";
}
#endif
