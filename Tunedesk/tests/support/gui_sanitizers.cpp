// Linked into every GUI test program; read only by sanitizer builds.

// fontconfig keeps its font cache until the process ends; that memory is not
// ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// Qt is not built with ThreadSanitizer: its thread pool and image workers
// allocate on one thread and free on another behind futex locks the sanitizer
// cannot see. Reports from inside uninstrumented libraries are dropped; races
// in our own code are still reported. scripts/tsan.supp names the few
// hand-offs inside Qt that run code of ours (when the build tells where it is).
#ifdef TUNEDESK_TSAN_SUPPRESSIONS
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1:suppressions=" TUNEDESK_TSAN_SUPPRESSIONS;
}
#else
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
#endif
