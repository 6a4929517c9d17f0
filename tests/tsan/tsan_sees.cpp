// What ThreadSanitizer reports with this program's settings (tools/tsan_defaults.cpp).
//   race:    two QThreads write the same variable of this program's, nothing between them; it
//            must be reported (the program then ends with status 23).
//   handoff: a QThread writes, the main thread reads once QThread::wait() has returned, the
//            hand-off told to it as the run's are (handoff.h); nothing is reported (status 0).
#include "handoff.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

struct Shared {
    int value = 0;
};

// As the program makes its threads (conversion/run/threadedrun.cpp).
class Thread final : public QThread {
public:
    explicit Thread(std::function<void()> body) : body_(std::move(body)) {}

protected:
    void run() override { body_(); }

private:
    std::function<void()> body_;
};

int racing(Shared &shared)
{
    auto write = [&shared](int v) {
        for (int i = 0; i < 100; ++i) {
            shared.value = v + i;
            QThread::usleep(100);
        }
    };
    Thread a([&] { write(1); }), b([&] { write(1000); });
    a.start();
    b.start();
    a.wait();
    b.wait();
    return shared.value > 0 ? 0 : 1;
}

int handingOff(Shared &shared)
{
    Thread worker([&shared] {
        shared.value = 42;
        handoff::release(&shared);
    });
    worker.start();
    // Long enough for the worker to have ended before wait() is called, which then takes no
    // lock ThreadSanitizer sees.
    QThread::msleep(100);
    worker.wait();
    handoff::acquire(&shared);
    return shared.value == 42 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Shared shared;
    if (argc == 2 && std::strcmp(argv[1], "race") == 0)
        return racing(shared);
    if (argc == 2 && std::strcmp(argv[1], "handoff") == 0)
        return handingOff(shared);
    std::fputs("tsan_sees race|handoff\n", stderr);
    return 2;
}
