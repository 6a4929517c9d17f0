// The sanitizers' settings for every program of the sanitized build (cmake/Sanitizers.cmake):
// the runtimes ask for them at start-up.

extern "C" {

// Leaks are looked for at exit. Any finding ends the program with a status of its own, which no
// test takes for one of the program's (0, 1, 2, 128 + a signal).
// __tls_get_addr is not intercepted: with Debian 12's glibc, GCC 12's runtime misreads the
// thread-local blocks of libraries loaded at run time, as the Firebird engine is, and the leak
// check at exit crashes on them ("DTLS 10 at 0x000000000120-...", "Tracer caught signal 11").
// Those blocks are then left out of the leak check's roots.
const char *__asan_default_options()
{
    return "detect_leaks=1:exitcode=23:intercept_tls_get_addr=0";
}

// A suppression used says nothing about the program: its statistics stay off stderr, which the
// tests read.
const char *__lsan_default_options()
{
    return "print_suppressions=0";
}

const char *__ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1:exitcode=23";
}

// Memory that libraries outside the project keep until the process ends, each with why.
const char *__lsan_default_suppressions()
{
    // Qt's D-Bus connection (the desktop's session and accessibility buses, on the xcb
    // platform) is dropped at exit with the read buffer libdbus grew in its thread
    // (_dbus_read) still held.
    return "leak:libdbus-1.so\n";
}

} // extern "C"
