// ThreadSanitizer's settings for every test program of a TSan build (and its helper programs),
// so that ctest, the preset and a test binary run by hand check the same way. Include in exactly
// one source file of a program; elsewhere it compiles to nothing.
//
// The media libraries are not instrumented: their own loads and stores are invisible, and so are
// their atomics (reference counts, frame and slice thread progress). What TSan does see of them
// is the C library calls they make (malloc, free, memcpy, memset, pthread_*), which then appear
// to race with each other. ignore_noninstrumented_modules drops the memory effects of exactly
// those calls, and nothing else: every access made by our own code, also inside a callback that
// a library thread runs, stays checked, and lock and thread synchronisation made by the libraries
// still counts. tests/tsan.supp holds whatever must be suppressed by name on top of that.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define TANDREL_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TANDREL_TSAN_BUILD 1
#endif
#endif

#if defined(TANDREL_TSAN_BUILD) && defined(TANDREL_TSAN_SUPPRESSIONS)
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1 halt_on_error=1 second_deadlock_stack=1 "
           "suppressions=" TANDREL_TSAN_SUPPRESSIONS;
}
#endif
