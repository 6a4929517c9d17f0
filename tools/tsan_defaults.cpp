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
const char *__tsan_default_options()
{
    return "exitcode=23:halt_on_error=1:detect_deadlocks=0:die_after_fork=0:report_thread_leaks=0";
}

// Races inside libraries built without ThreadSanitizer: it sees only half of their
// synchronisation (their atomics and their own futexes), so what it reports there is noise.
// race_top: only where an access itself is in one of them, its top frame. A plain race: would
// match any frame of either stack, and every stack of a QThread or of the event loop has Qt's
// frames beneath the program's, which hid every race of the program's own that passed through a
// thread. The program's own hand-offs through Qt (a queued call, QThread::wait()) are told to
// it where they are made (conversion/handoff.h).
const char *__tsan_default_suppressions()
{
    // Not called_from_lib: the engine's libraries are unloaded at the end, which it cannot abide.
    return "race_top:libfbclient.so\n"
           "race_top:libEngine12.so\n"
           "race_top:libQt6Core.so\n"
           "race_top:libQt6Gui.so\n"
           "race_top:libQt6Widgets.so\n"
           "race_top:libQt6Test.so\n"
           "race_top:libQt6XcbQpa.so\n"
           "race_top:libxcb.so\n"
           "race_top:libglib-2.0.so\n"
           // Their own synchronisation, whose calls into the C library ThreadSanitizer
           // intercepts: those calls are the top frames, Qt's the next ones.
           "race:QWaitCondition\n";
}

} // extern "C"
