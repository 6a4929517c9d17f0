#pragma once
// The user triggers, switched off while a run rewrites codes and on again with its commit.
//
// Every user trigger (system flag 0 or none) that is active is switched off, whatever its
// source; the ones the user had switched off stay off. Which ones a run switched off is recorded
// in the database's own description (marks.h), in the same commit as the switch-off, and the
// record goes in the same commit as the switch-on: any run, by any user, on the file wherever it
// is, finds the record a run cut short left, and switches on those triggers, and only those.

#include <QString>
#include <QStringList>

class TSQLConnection;
class TSQLQuery;

class TriggerSwitch final {
public:
    // Statements go through query, as the run's own; reads through queries of the switch's own.
    TriggerSwitch(TSQLConnection &db, TSQLQuery &query) : db_(db), query_(query) {}

    // Reads the user triggers and the database's description. Fails when a trigger it would
    // switch has a name that SQL dialect 1 cannot write (it could not be switched on again).
    void read();
    // Switches on what a run cut short left switched off and removes its record, committed.
    void makeGood();
    // Switches off every active user trigger, with the record of them, committed together.
    void switchOff();
    // Switches on the recorded triggers and removes the record; the description gets line when
    // one is given. In the connection's open transaction: the caller commits.
    void switchOn(const QString &line = {});
    // The description as the user has it, without the tool's record.
    QString description() const;

private:
    void writeDescription(const QString &description);

    TSQLConnection &db_;
    TSQLQuery &query_;
    QStringList active_;
    QString description_; // as read: null when the database has none
    QStringList recorded_;
};
