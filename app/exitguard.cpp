// Qt's X11 platform ends the process with exit(1) when the display goes away (the user logs out,
// the X server ends). A conversion run under way would then be cut off while the libraries tear
// themselves down, leaving its work uncommitted and every trigger switched off. This program's
// exit first stops such a run and waits until it has been undone, while everything is still
// whole, and only then ends the process as exit does.
#include "threadedrun.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

// The C library's declaration, included above, says exit does not return; the attribute may
// not be repeated here in its C++ spelling, which a compiler may require on the first one.
extern "C" void exit(int status) noexcept
{
    // An undo waits on the engine: a generous bound, not an endless one.
    if (ThreadedRun::anyRunning())
        std::fputs(ThreadedRun::abandonRunning(60000)
                       ? "conversor: conversão interrompida ao fechar a tela; nada foi alterado.\n"
                       : "conversor: a conversão interrompida não terminou a tempo de ser desfeita.\n",
                   stderr);
    using Exit = void (*)(int);
    static const auto next = reinterpret_cast<Exit>(dlsym(RTLD_NEXT, "exit"));
    next(status);
    __builtin_unreachable();
}
