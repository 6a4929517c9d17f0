// ThreadSanitizer's settings for every program of the build made with it (cmake/Sanitizers.cmake,
// the preset "thread"): the runtime asks for them at start-up.

extern "C" {

// A race ends the program with a status no test takes for one of the program's.
// detect_deadlocks=0: the engine takes its own locks in orders the detector cannot follow (and
// runs out of its lock slots on), though they never deadlock.
// die_after_fork=0: the tests start the program and isql from threads Qt has running; what the
// child runs is exec'd at once.
// report_signal_unsafe=0: the program's signal handler only writes to a pipe, as Qt's own
// advice for Unix signals; the check misreads the engine's handlers.
const char *__tsan_default_options()
{
    return "exitcode=23:halt_on_error=1:detect_deadlocks=0:die_after_fork=0:report_signal_unsafe=0";
}

// Races inside libraries built without ThreadSanitizer: it sees only half of their
// synchronisation (their atomics and their own futexes), so what it reports there is noise.
// A race with one end in this program's code is still reported.
const char *__tsan_default_suppressions()
{
    return "called_from_lib:libfbclient.so\n"
           "called_from_lib:libEngine12.so\n"
           "called_from_lib:libQt6Core.so\n"
           "called_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\n"
           "called_from_lib:libQt6DBus.so\n"
           "called_from_lib:libglib-2.0.so\n"
           "race:libfbclient.so\n"
           "race:libEngine12.so\n"
           "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libglib-2.0.so\n";
}

} // extern "C"
