#pragma once
// A conversion run whose statements execute on a worker thread while the calling thread goes on
// with its own event loop: the connect step too, which may wait on a server. What the run shows
// reaches the view on the calling thread, in order; the message boxes are shown there too, and
// the run waits for them. One run object per command.

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
    // A run still under way is abandoned first (stopped and undone, its calls to the view dropped).
    ~ThreadedRun() override;

    // Starts the run and returns at once; finished() comes on the calling thread once it is over.
    void start();
    // start(), then waits for the run in an event loop of its own that takes the events flags
    // lets through (for a caller with nothing else to do meanwhile).
    Conversion::Outcome exec(QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents);
    // From start() until just before finished().
    bool running() const { return worker_ != nullptr; }
    // From the calling thread, before or while the run goes on (a signal's handler, say): stops
    // the run as Conversion::interrupt() does.
    void interrupt() { conversion_.interrupt(); }
    // The calling thread takes no more events (the program is ending under it): the run is
    // stopped, a call it waits on is dropped unanswered, and this returns when the worker has
    // ended (at most timeoutMs, negative: no bound; false when it had not).
    bool abandon(int timeoutMs);
    // Whether a run is under way in this process, and abandon() for it.
    static bool anyRunning();
    static bool abandonRunning(int timeoutMs);
    // How the last run ended, and what its box said, or would have said had it not been stopped.
    Conversion::Outcome outcome() const { return conversion_.outcome(); }
    QString failure() const { return conversion_.failure(); }

signals:
    void finished();

private:
    void ended();

    std::unique_ptr<QueuedView> queued_;
    Conversion conversion_;
    std::unique_ptr<QThread> worker_; // while the run goes on
};
