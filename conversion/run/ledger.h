#pragma once
// What the database holds of a run's doing: its description (the run's records), the door to
// others, the user triggers switched off, the map of codes. Each is known twice, as the last
// commit left it and as the open transaction has it, and the ledger is the one way the run
// commits or rolls back: what it knows follows the transaction because nothing else can end
// one. The undo asks it what was committed. Statements go through the run's own query.

#include "marks.h"
#include "triggerswitch.h"

#include <QString>

class TSQLConnection;
class TSQLQuery;

class Ledger final {
public:
    struct Holds {
        marks::Description description;
        bool doorClosed = false;
        bool mapMade = false;
    };

    Ledger(TSQLConnection &db, TSQLQuery &query) : db_(db), query_(query), triggers_(db, query) {}
    Ledger(const Ledger &) = delete;
    Ledger &operator=(const Ledger &) = delete;

    // What the database holds now, read through the connection: nothing of it is open.
    void read();

    // As the open transaction has it.
    const Holds &now() const { return now_; }
    // As the last commit left it.
    const Holds &committed() const { return committed_; }
    // The triggers, as the open transaction has them.
    TriggerSwitch &triggers() { return triggers_; }
    const TriggerSwitch &triggers() const { return triggers_; }
    TSQLQuery &query() { return query_; }

    // Each in the open transaction.
    void describe(const marks::Description &description);
    void closeDoor(const QString &file);
    void openDoor();
    void makeMap();
    void dropMap();

    // Ends the open transaction: what it holds is what the database holds, or what the last
    // commit left. A rollback the engine refuses (a connection lost) leaves the same: the
    // engine undoes what was not committed when the connection goes.
    void commit();
    void rollBack();
    // The connection was let go of: the engine undid what was open.
    void connectionGone();

private:
    TSQLConnection &db_;
    TSQLQuery &query_;
    TriggerSwitch triggers_;
    Holds now_;
    Holds committed_;
};
