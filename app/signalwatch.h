#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP as a Qt signal on the main thread: the handler only writes the
// signal's number to a pipe, which a notifier reads. While it exists the engine's client library
// is told that the program ends on these signals itself.
class SignalWatch final : public QObject {
    Q_OBJECT
public:
    SignalWatch();
    ~SignalWatch() override;
    SignalWatch(const SignalWatch &) = delete;
    SignalWatch &operator=(const SignalWatch &) = delete;

    // "SIGTERM" for 15, and so on.
    static QString name(int signo);

signals:
    void received(int signo);

private:
    QSocketNotifier *notifier_;
};
