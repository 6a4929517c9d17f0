#pragma once

#include "backuplock.h"
#include "codelist.h"
#include "codemap.h"
#include "conversionview.h"
#include "ledger.h"
#include "marks.h"
#include "sqlquery.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

class TSQLConnection;
class Survey;
class RewritePlan;

// The Convert command: attaches to the chosen database and rewrites CODPROD in every relation
// that stores it, with the user triggers switched off meanwhile. It looks before it writes
// anything, has the database to itself while it works (a door closed on everyone else,
// guard.h), stops with nothing changed when the database is in use,
// holds no code, or would be damaged, and makes good what a run of its own cut short left. A
// failed run undoes its work; a converted database carries the mark of it, committed with the
// codes. The database is given back at the end of every run, so that other programs can open
// it. One object is one run.
class Conversion final {
public:
    enum class Outcome {
        None,         // not run yet
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
        // The list of old and new codes beside the database, for the shop's day after.
        bool codeList = true;
    };

    Conversion(TSQLConnection &db, ConversionView &view, Options options);
    Conversion(TSQLConnection &db, ConversionView &view) : Conversion(db, view, Options{}) {}
    Conversion(const Conversion &) = delete;
    Conversion &operator=(const Conversion &) = delete;

    // Attaches to the chosen file; on failure (or with no file chosen) shows the error box and
    // returns false.
    bool ConectaBancoVestrel();
    // The connect step, then the conversion.
    void run();

    // From any thread, before or while run() goes on: the statement running is cancelled (an
    // attach under way is given up) and the run ends as Interrupted, undone, without a box.
    // Once the final commit has been sent, its outcome decides: nothing is cancelled, and a
    // converted database is reported as converted.
    void interrupt();
    Outcome outcome() const { return outcome_; }
    // The run's failure: the box's text, or for an interrupted run "Conversão interrompida pelo
    // usuário; nada foi alterado" (with a line of its own when the triggers could not be switched
    // on again).
    QString failure() const { return failure_; }
    // Where the converted run put its safety copy, and its list of old and new codes; empty
    // without one.
    QString safetyCopy() const { return copy_; }
    const CodeList::Written &codeList() const { return listed_; }

private:
    enum class Stage { Connect, Survey, MakeGood, Reserve, Copy, Triggers, List, Tables, TriggersOn, Commit, Release };

    // The steps of a run, in order (conversion.cpp).
    void readWhereItStands();
    void makeGood();
    Survey surveyRelations();
    bool goAhead(const Survey &survey);
    void switchTriggersOff(CodeMap *map);
    void readCodeList(const Survey &survey);
    qint64 currentTransaction();
    void rewriteTables(const RewritePlan &plan, CodeMap *map);
    void rewriteTable(const RewritePlan &plan, const QString &name, CodeMap *map, bool mapped);
    void commitWithTriggersOn();
    // Whether the file at the chosen path carries this run's mark; if not, the run failed.
    bool readBack();
    void writeCodeList();
    void reportSuccess();
    // The run's time, taken once: the copy and the list of one run carry it in their names.
    QDateTime runTime();
    // The run is at stage now (what a failure is said to be about), or, when a stop was asked,
    // stops here: both at once, so that no step forgets either.
    void enterOrStop(Stage stage);

    // Having the database to itself, and giving it back (reservation.cpp).
    void reserve();
    void release();
    // Attaches again to the database as the engine attached it first; lets go of it.
    void attachAgain();
    void letGo();
    // Whether the file the run attached is still the one there (a local file only).
    bool fileStillThere() const;

    // The safety copy (copystep.cpp): this program's own, or the server's.
    void takeSafetyCopy();
    void takeServerCopy(const QString &database, const QString &copy);
    // The copy's own record of what it is, written into it before it has its name.
    void markCopy(const QString &partial, const QString &database, const QString &copy);

    // What a failure leaves: its text, the undo, no copy; the box unless it was interrupted
    // (failure.cpp).
    void fail(const std::exception &e, const RewritePlan *plan);
    QString failureText(const std::exception &e) const;
    // The open transaction rolled back, the run still attached when it can be.
    void rollBack();
    // Undoes what a failed run committed; false when the triggers it had switched off could not
    // be switched on again.
    bool undo();
    // Gives the database back after the undo, unless the triggers stay off: then the door stays
    // closed, as a run cut short leaves it, until it is made good.
    void giveBack(bool triggersOn);
    // A box on the failure paths: one the view cannot show any more is left unshown.
    void tell(MessageKind kind, const QString &text);

    TSQLConnection &db_;
    ConversionView &view_;
    const Options options_;
    // The run's two queries: the discovery of the relations, and every statement it sends.
    TSQLQuery QryBuscaTabelas;
    TSQLQuery QryAtualizaTabela;
    Ledger ledger_;             // what the database holds of the run's doing; its commits
    std::mutex interruptGuard_; // an interrupt and the sending of the commit, one at a time
    std::atomic<bool> interruptRequested_{false};
    bool commitSent_ = false;   // under interruptGuard_
    Stage stage_ = Stage::Connect;
    QString table_;             // the discovery's current row, as stored
    Outcome outcome_ = Outcome::None;
    QString failure_;

    QString path_;              // the path the user chose
    QString attachedAs_;        // how the engine attached it: a path, or "host:path"
    QString serverFile_;        // the file as the engine opened it
    bool shutDown_ = false;     // the database is in a shutdown (its server's)
    int backupState_ = 0;       // the engine's backup lock on it (0: none)
    bool reserved_ = false;     // a shutdown an earlier version's run left, given back at the end
    bool reservedHere_ = false; // this run closed the door: it opens it again at its end
    QStringList madeGood_;      // what a run cut short had left, made good by this one
    QString releaseProblem_;    // why a converted database was not given back
    QByteArray copiedLine_;     // the record of the whole copy
    QByteArray convertedLine_;  // the conversion's mark, as committed
    std::optional<std::pair<quint64, quint64>> file_; // the local file's device and inode
    std::optional<BackupLock> backupLock_; // held while the copy is taken: a failure ends it
    QString partial_;           // the copy while this program writes it
    QString copy_;              // the finished copy
    bool serverCopy_ = false;   // the server wrote it
    QString copyNote_;          // why the server's copy is its logical backup, when it is
    std::optional<CodeList> list_; // read before the rewrites
    // Whether the codes the survey kept are the ones the run rewrites: nobody else was in the
    // database when it looked, and no transaction but the run's own began until the door closed.
    bool surveyedAlone_ = false;
    qint64 surveyTransaction_ = 0;
    bool surveyStands_ = false;
    CodeList::Written listed_;  // its files, and why one could not be written
    QDateTime when_;            // runTime()
};
