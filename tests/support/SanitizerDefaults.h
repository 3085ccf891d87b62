// Sanitizer settings for every test program of a sanitizer build (and its helper programs), so
// that ctest, the presets, CI and a test binary run by hand check the same way. Include in
// exactly one source file of a program; in other builds it compiles to nothing.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define TANDREL_TSAN_BUILD 1
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TANDREL_ASAN_BUILD 1
#endif
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TANDREL_TSAN_BUILD 1
#endif
#if __has_feature(address_sanitizer)
#define TANDREL_ASAN_BUILD 1
#endif
#endif

#if defined(TANDREL_TSAN_BUILD) && defined(TANDREL_TSAN_SUPPRESSIONS)
// The media libraries are not instrumented: their own loads and stores are invisible, and so are
// their atomics (reference counts, frame and slice thread progress). What ThreadSanitizer does
// see of them is the C library calls they make (malloc, free, memcpy, memset, pthread_*), which
// then appear to race with each other. ignore_noninstrumented_modules drops the memory effects of
// exactly those calls and nothing else: every access made by our own code, also inside a callback
// that a library thread runs, stays checked, and the libraries' lock and thread synchronisation
// still counts. tests/tsan.supp holds whatever must be suppressed by name on top of that, and
// tsan_canary_tests fail when a rule there hides races in our own callbacks.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1 halt_on_error=1 second_deadlock_stack=1 "
           "suppressions=" TANDREL_TSAN_SUPPRESSIONS;
}
#endif

#if defined(TANDREL_ASAN_BUILD) && defined(TANDREL_LSAN_SUPPRESSIONS)
// Leaks inside system libraries that keep process-wide caches for their whole life: see
// tests/lsan.supp. Allocations of ours, or of the media libraries on our behalf, never are.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" TANDREL_LSAN_SUPPRESSIONS;
}
#endif
