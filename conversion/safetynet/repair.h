#pragma once
// Making good what a run of this program cut short left (killed, a power cut, a lost
// connection): its door closed to everyone else (guard.h), its reservation, its switched-off
// triggers, its copy's backup lock and partial file. One piece of code for the run, the
// read-only check and conversor --unlock, so that each says the same of what it found.

#include "marks.h"

#include <QStringList>

class Ledger;
class TSQLConnection;

namespace repair {

// What a run cut short left in the database, as the ledger (read already) and backupState (the
// engine's backup lock: 0 none) have it: made good in the open transaction, which the caller
// commits, the door opened and the reservation's record gone last; backupState follows.
// Returns what was done, a line each, the first saying what became of the run cut short; none
// when nothing was left.
QStringList makeGood(Ledger &ledger, int &backupState);

// The whole giving back, on a connection of its own: db's profile names the database
// (attached here, read-write, and let go of). Only what a run of this program left is touched,
// unless anyLock: then any backup lock is ended and any shutdown brought back online too.
// Nothing is done while others are at work in the database: with anyLock that is a failure
// (Exception), naming a run going on when it is one. Returns what was done, a line each.
QStringList giveBack(TSQLConnection &db, bool anyLock);

// Whether file (as the engine opened it) is a safety copy a run took of another database: a
// copy keeps the record of it (marks.h). The clerk's text, empty when it is no copy. A copy is
// never made good: what the run had left in it is what keeps it from use.
QString copyText(const marks::Description &description, const QString &file);

// What the check says of others at work in a database: a run of this program going on (its
// reservation is there), or other connections.
QString busyText(const marks::Description &description, const QString &othersText);

} // namespace repair
