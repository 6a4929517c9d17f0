// ThreadSanitizer's settings for every program of the build made with it (cmake/Sanitizers.cmake,
// the preset "thread"): the runtime asks for them at start-up.

extern "C" {

// A race ends the program with a status no test takes for one of the program's.
// detect_deadlocks=0: the engine takes its own locks in orders the detector cannot follow, though
// they never deadlock.
// die_after_fork=0: the tests start the program and isql while Qt's threads run; what the child
// runs is exec'd at once.
// report_thread_leaks=0: the engine starts threads of its own that it joins only when it is shut
// down, and a program stopped by a signal ends without that.
// ignore_noninstrumented_modules=1: what the libraries built without ThreadSanitizer (Qt's, the
// engine's, glib, libstdc++) read and write through the C library (memcpy, new and delete...) is
// not taken for races: it sees only half of their synchronisation (their atomics and futexes are
// theirs), so what it would report there is noise. Their locks and waits through the C library
// still order the program's threads. Not suppressions by library: a race suppression matches any
// frame of either stack, and every stack of a QThread or of the event loop has Qt's frames
// beneath the program's, which hid every race of the program's own that passed through a thread
// (tests/tsan). Not called_from_lib: the engine's libraries are unloaded at the end, which it
// cannot abide. The program's own hand-offs through Qt (a queued call, QThread::wait()) are told
// to it where they are made (conversion/run/handoff.h); and its threads are QThreads of its own
// classes, not QThread::create()'s, whose function libstdc++ runs (std::call_once), where none of
// it would be seen.
const char *__tsan_default_options()
{
    return "exitcode=23:halt_on_error=1:detect_deadlocks=0:die_after_fork=0:report_thread_leaks=0"
           ":ignore_noninstrumented_modules=1";
}

} // extern "C"
