#pragma once
// A hand-off between threads through Qt's own synchronisation (a queued call, QThread::wait()).
// ThreadSanitizer does not see that synchronisation, Qt's libraries not being built with it,
// and would take what one thread wrote before the hand-off and the other reads after it for a
// race: it is told here, the writer releasing and the reader acquiring the same address.
// Nothing in other builds.

#if defined(__SANITIZE_THREAD__)
#define CONVERSOR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CONVERSOR_TSAN 1
#endif
#endif

#ifdef CONVERSOR_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace handoff {

// On the thread handing over, after what it hands over is written.
inline void release([[maybe_unused]] const void *what)
{
#ifdef CONVERSOR_TSAN
    __tsan_release(const_cast<void *>(what));
#endif
}

// On the thread taking over, before it reads.
inline void acquire([[maybe_unused]] const void *what)
{
#ifdef CONVERSOR_TSAN
    __tsan_acquire(const_cast<void *>(what));
#endif
}

} // namespace handoff
