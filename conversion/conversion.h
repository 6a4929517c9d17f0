#pragma once

#include "conversionview.h"

#include <QString>

#include <atomic>

class TSQLConnection;

// The Convert command: attaches to the chosen database and rewrites CODPROD in every relation
// that has it, with the user triggers switched off meanwhile. A failed run undoes its work.
// The database is let go of at the end of every run, so that other programs can open it.
class Conversion final {
public:
    enum class Outcome {
        None,         // no run yet
        NotConnected, // the connect step failed (its box was shown)
        Converted,
        Failed,       // stopped by a failure, undone, its box shown
        Interrupted,  // stopped by interrupt(), undone, no box
    };

    Conversion(TSQLConnection &db, ConversionView &view) : db_(db), view_(view) {}

    // Attaches to the chosen file; on failure shows the error box and returns false.
    bool ConectaBancoVestrel();
    // The connect step, then the conversion.
    void run();
    // The conversion on the connection the connect step has just attached.
    void runConnected();

    // From another thread while run() goes on: the statement running is cancelled and the run
    // ends as a failed run, without a box.
    void interrupt();
    Outcome outcome() const { return outcome_; }
    // The last run's failure: the box's text, or what an interrupted run would have said (with
    // a line of its own when the triggers could not be switched on again).
    QString failure() const { return failure_; }

private:
    // Undoes a failed run; false when the triggers it had switched off could not be switched
    // on again.
    bool undo(bool triggersOff);
    void checkInterrupt() const;

    TSQLConnection &db_;
    ConversionView &view_;
    std::atomic<bool> interruptRequested_{false};
    Outcome outcome_ = Outcome::None;
    QString failure_;
};
