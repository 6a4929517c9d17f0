#include "signalwatch.h"

#include "engineenv.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};
constexpr int watched[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int signo)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatch::SignalWatch(Delivery delivery)
{
    if (delivery == Delivery::MainLoop) {
        if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
            qFatal("conversor: no pipe for signals");
        notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            unsigned char byte = 0;
            while (::read(pipeEnds[0], &byte, 1) == 1)
                emit received(byte);
        });
    } else {
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
            qFatal("conversor: no pipe for signals");
        // A zero byte, written when the watch goes, ends the reading.
        reader_ = std::thread([this] {
            unsigned char byte = 0;
            while (::read(pipeEnds[0], &byte, 1) == 1 && byte != 0)
                emit received(byte);
        });
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : watched)
        sigaction(signo, &action, nullptr);
    engine::setProgramHandlesSignals(true);
}

SignalWatch::~SignalWatch()
{
    engine::setProgramHandlesSignals(false);
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int signo : watched)
        sigaction(signo, &action, nullptr);
    if (reader_.joinable()) {
        const unsigned char end = 0;
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &end, 1);
        reader_.join();
    }
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

QString SignalWatch::name(int signo)
{
    switch (signo) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("sinal %1").arg(signo);
    }
}
