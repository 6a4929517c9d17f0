#pragma once

#include <QObject>

#include <thread>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP as a Qt signal: the handler only writes the signal's number to a
// pipe, which is read on the main thread's event loop (for the window) or on a thread of the
// watch's own (for a run that holds the main thread; received then comes on that thread).
// While it exists the engine's client library is told that the program ends on these signals
// itself.
class SignalWatch final : public QObject {
    Q_OBJECT
public:
    enum class Delivery { MainLoop, OwnThread };
    explicit SignalWatch(Delivery delivery = Delivery::MainLoop);
    ~SignalWatch() override;
    SignalWatch(const SignalWatch &) = delete;
    SignalWatch &operator=(const SignalWatch &) = delete;

    // "SIGTERM" for 15, and so on.
    static QString name(int signo);

signals:
    void received(int signo);

private:
    QSocketNotifier *notifier_ = nullptr;
    std::thread reader_;
};
