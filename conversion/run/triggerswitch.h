#pragma once
// The user triggers, switched off while a run rewrites codes and on again with its commit.
//
// Every user trigger (system flag 0 or none) that is active is switched off, whatever its
// source; the ones the user had switched off stay off. Each one a run switches off carries the
// record of it in its own description (marks.h), in the same commit as the switch-off, and the
// record goes in the same commit as the switch-on: any run, by any user, on the file wherever it
// is, finds what a run cut short left, and switches on those triggers, and only those.
// Statements go into the connection's open transaction: the run commits.

#include "marks.h"

#include <QList>
#include <QStringList>

class TSQLConnection;
class TSQLQuery;

class TriggerSwitch final {
public:
    struct Trigger {
        QString name;
        QString relation; // trimmed; empty for a trigger of the database's own
        bool active = false;
        marks::Description description;
        bool recorded = false; // a run cut short switched it off
    };

    // Statements go through query, as the run's own; reads through queries of the switch's own.
    TriggerSwitch(TSQLConnection &db, TSQLQuery &query) : db_(db), query_(query) {}

    // Reads the user triggers with their descriptions.
    void read();
    const QList<Trigger> &triggers() const { return triggers_; }
    // What a run cut short left switched off: the triggers the next run switches on.
    QStringList leftOff() const;

    // Switches on what a run cut short left switched off and removes its records.
    void makeGood();
    // Switches off every active user trigger that can be switched, each with its record.
    void switchOff();
    // Switches on the triggers this run or a run cut short switched off, records gone.
    void switchOn();
    // The longest description a switch-off writes, in bytes.
    qsizetype longestRecord() const;

private:
    // What the switch knows follows the connection's transaction, which the ledger alone ends:
    // what was committed stays, what was rolled back is as it was at the last commit.
    friend class Ledger;
    void committed() { atCommit_ = triggers_; }
    void rolledBack() { triggers_ = atCommit_; }

    void set(Trigger &t, bool active, const marks::Description &description);

    TSQLConnection &db_;
    TSQLQuery &query_;
    QList<Trigger> triggers_;
    QList<Trigger> atCommit_;
};
