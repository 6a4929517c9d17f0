// Asks a window whether it is alive, the way a window manager does: sends it _NET_WM_PING and
// waits for its answer on the root window.
//   xping WINDOW [TIMEOUT_MS]   prints the answer's delay in ms; exits 1 when none came in time
// The end-to-end test pings the tool during long runs.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: xping WINDOW [TIMEOUT_MS]\n");
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const long timeoutMs = argc > 2 ? std::atol(argv[2]) : 5000;
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xping: no display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // The answer goes to the root window for clients that watch its structure.
    XSelectInput(display, root, StructureNotifyMask);

    // A time of our own, so that only the answer to this ping counts.
    const Time stamp = Time(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7fffffff);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(ping);
    event.xclient.data.l[1] = long(stamp);
    event.xclient.data.l[2] = long(window);
    const auto sent = std::chrono::steady_clock::now();
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);

    for (;;) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
        if (waited.count() >= timeoutMs)
            break;
        while (XPending(display)) {
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == protocols
                && Atom(event.xclient.data.l[0]) == ping && Time(event.xclient.data.l[1]) == stamp) {
                std::printf("%ld\n", long(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - sent)
                                              .count()));
                XCloseDisplay(display);
                return 0;
            }
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
    std::printf("none in %ld\n", timeoutMs);
    XCloseDisplay(display);
    return 1;
}
