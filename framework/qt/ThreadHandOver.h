// Tells ThreadSanitizer about a hand-over between threads that it cannot see by itself: a window
// message posted from the serial reader thread travels through Qt's posted-event queue, which is
// guarded by Qt's own futex-based mutex, and Debian's Qt is not instrumented. In every other build
// these are empty.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define ORVANE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVANE_THREAD_SANITIZER 1
#endif
#endif

#if defined(ORVANE_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
// Everything written before this call is visible to a thread after its TakeOver of `object`.
inline void HandOver(void* object) {
    __tsan_release(object);
}
inline void TakeOver(void* object) {
    __tsan_acquire(object);
}
#else
inline void HandOver(void*) {}
inline void TakeOver(void*) {}
#endif
