#pragma once
// A conversion run whose statements execute on a worker thread while the calling thread keeps
// answering the window system: it waits in an event loop that takes repaints, exposes, timers
// and the window manager's pings, and leaves user input (keys, clicks, the close button)
// queued until the run is over. What the run shows reaches the view on the calling thread, in
// order; the message box is shown there too, and the run waits for it. The connect step stays
// on the calling thread, as the command began it: it is short, and its error box comes
// straight from the command.

#include "conversion.h"

#include <QObject>

#include <atomic>

class ThreadedRun final : public QObject {
    Q_OBJECT
public:
    ThreadedRun(TSQLConnection &db, ConversionView &view);

    // Runs the whole conversion, returning when it is over.
    Conversion::Outcome exec();
    // From the calling thread while exec() waits (a signal's handler, say): stops the run as
    // Conversion::interrupt() does.
    void interrupt();
    // What the last run's box said, or would have said had it not been stopped.
    QString failure() const { return failure_; }

private:
    TSQLConnection &db_;
    ConversionView &view_;
    std::atomic<Conversion *> conversion_{nullptr};
    bool interruptPending_ = false;
    QString failure_;
};
