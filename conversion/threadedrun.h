#pragma once
// A conversion run whose statements execute on a worker thread while the calling thread keeps
// answering the window system in an event loop: the connect step too, which may wait on a
// server. What the run shows reaches the view on the calling thread, in order; the message
// boxes are shown there too, and the run waits for them. One run object per command.

#include "conversion.h"

#include <QEventLoop>
#include <QObject>

#include <memory>

class QueuedView;
class QThread;

class ThreadedRun final : public QObject {
    Q_OBJECT
public:
    ThreadedRun(TSQLConnection &db, ConversionView &view, Conversion::Options options);
    ThreadedRun(TSQLConnection &db, ConversionView &view) : ThreadedRun(db, view, Conversion::Options{}) {}
    ~ThreadedRun() override;

    // Runs the whole conversion, returning when it is over. While it waits, the calling thread
    // takes the events flags lets through.
    Conversion::Outcome exec(QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents);
    // From the calling thread, before or while exec() waits (a signal's handler, say): stops the
    // run as Conversion::interrupt() does.
    void interrupt() { conversion_.interrupt(); }
    // The calling thread takes no more events (the program is ending under it): the run is
    // stopped, a call it waits on returns at once, and this returns when the worker has ended
    // (at most timeoutMs; false when it had not).
    bool abandon(int timeoutMs);
    // Whether a run is under way in this process, and abandon() for it.
    static bool anyRunning();
    static bool abandonRunning(int timeoutMs);
    // What the last run's box said, or would have said had it not been stopped.
    QString failure() const { return conversion_.failure(); }

private:
    std::unique_ptr<QueuedView> queued_;
    Conversion conversion_;
    std::unique_ptr<QThread> worker_; // while exec() runs
};
