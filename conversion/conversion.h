#pragma once

#include "conversionview.h"

#include <QString>

#include <atomic>
#include <mutex>

class TSQLConnection;
class TSQLQuery;
class TriggerSwitch;

// The Convert command: attaches to the chosen database and rewrites CODPROD in every relation
// that stores it, with the user triggers switched off meanwhile. It looks before it changes
// anything (survey.h), and stops with nothing changed when the database is in use, holds no
// code, or would be damaged. A failed run undoes its work; a converted database carries the
// mark of it, committed with the codes. The database is let go of at the end of every run, so
// that other programs can open it.
class Conversion final {
public:
    enum class Outcome {
        None,         // no run yet
        NotConnected, // the connect step failed (its box was shown)
        Converted,
        Declined,     // the database looked converted already, and the answer was No
        Failed,       // stopped by a failure, undone, its box shown
        Interrupted,  // stopped by interrupt(), undone, no box
    };

    struct Options {
        // A copy of the database file beside it, taken before anything changes (the way back:
        // the rewrite cannot be undone from the database itself).
        bool safetyCopy = true;
    };

    Conversion(TSQLConnection &db, ConversionView &view, Options options) : db_(db), view_(view), options_(options) {}
    Conversion(TSQLConnection &db, ConversionView &view) : Conversion(db, view, Options{}) {}

    // Attaches to the chosen file; on failure shows the error box and returns false.
    bool ConectaBancoVestrel();
    // The connect step, then the conversion.
    void run();
    // The conversion on the connection the connect step has just attached.
    void runConnected();

    // From another thread while run() goes on: the statement running is cancelled and the run
    // ends as a failed run, without a box. Once the final commit has been sent, its outcome
    // decides: nothing is cancelled, and a converted database is reported as converted.
    void interrupt();
    Outcome outcome() const { return outcome_; }
    // The last run's failure: the box's text, or what an interrupted run would have said (with
    // a line of its own when the triggers could not be switched on again).
    QString failure() const { return failure_; }
    // Where the last converted run put its safety copy; empty without one.
    QString safetyCopy() const { return copy_; }

private:
    enum class Stage { Survey, Copy, Triggers, Tables, TriggersOn, Commit };

    // Undoes a failed run; false when the triggers it had switched off could not be switched
    // on again.
    bool undo(TriggerSwitch *switchedOff, TSQLQuery *query);
    // Copies the attached database file beside it, under the engine's backup lock.
    void takeSafetyCopy(TSQLQuery &query);
    void checkInterrupt();
    QString failureText(const std::exception &e, const QString &table) const;

    TSQLConnection &db_;
    ConversionView &view_;
    Options options_;
    std::mutex interruptGuard_; // an interrupt and the sending of the commit, one at a time
    std::atomic<bool> interruptRequested_{false};
    bool commitSent_ = false;
    Stage stage_ = Stage::Survey;
    Outcome outcome_ = Outcome::None;
    QString failure_;
    QString copy_;
    bool backupLock_ = false; // the engine's backup lock is held: the undo ends it
};
