#pragma once
// Giving back a database that a run cut short left locked for its copy or closed to others
// (through its server), with everything of that run made good: what the read-only check does
// before it looks (the shop's programs must not wait for the next run), and what
// conversor --unlock does for a lock or shutdown the tool did not take.

#include <QStringList>

class TSQLConnection;

namespace repair {

// db: a connection whose profile names the database (attached here, read-write, and let go
// of). Only what a run of this program left is touched, unless anyLock: then any backup lock
// is ended and any shutdown brought back online too. Nothing is done while others are at work
// in the database. Returns what was done, a line each (none: nothing was needed).
QStringList giveBack(TSQLConnection &db, bool anyLock);

} // namespace repair
