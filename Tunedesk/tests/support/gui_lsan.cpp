// Linked into every GUI test program. fontconfig keeps its font cache until
// the process ends; that memory is not ours to free, so the leak checker of the
// sanitizer build is told to leave it alone.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
