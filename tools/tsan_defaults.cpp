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
// A race with one end in this program's code is still reported.
const char *__tsan_default_suppressions()
{
    // Only races: the engine's libraries are unloaded at the end, which called_from_lib cannot
    // abide.
    return "race:libfbclient.so\n"
           "race:libEngine12.so\n"
           "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "race:libQt6Test.so\n"
           "race:libQt6XcbQpa.so\n"
           "race:libxcb.so\n"
           "race:libglib-2.0.so\n";
}

} // extern "C"
