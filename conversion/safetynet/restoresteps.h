#pragma once
// The steps the way back (restore.h) is made of, each route's and the finishing of one cut
// short alike: attaching past the door, the proof that a copy is whole, the door held closed
// while it works, and what is forgotten of the run in the database put back.

#include "location.h"
#include "marks.h"

#include <QDateTime>
#include <QString>

#include <exception>
#include <optional>

class QRegularExpression;
class TSQLConnection;

namespace restore::steps {

// "<name>.copia-<yyyyMMdd-HHmmss>[-n].fb", ".nbk" or ".fbk", and perhaps "host:" before it: the
// name (captured), the copy's time, its number in that second.
const QRegularExpression &copyName();
bool isPageCopy(const QString &copy);
bool exists(const QString &path);
// Whether the engine could not open a database because there is no such file (a server's: any
// failure to open it, the system's error reaching this program as text only).
bool isMissing(const std::exception &e);

// Attaches db to database (a path, or a database string), without the database's own triggers.
void attach(TSQLConnection &db, const QString &database);
marks::Description descriptionOf(TSQLConnection &db);
// The database attached, as the server opened it (an alias or a link resolved).
DatabaseLocation whereAttached(TSQLConnection &db);

// The records of the run and of the way back, and the door, gone from the database put back.
void forgetTheRun(TSQLConnection &db);
// Throws Exception ("A cópia está incompleta: ...") unless the database attached recorded copy
// whole (this program's copy of the file: also its name alone).
void proveWhole(TSQLConnection &db, const QString &copy, const QString &database);
// The door opened again in the database string given, and the record of a way back under way
// gone; false when it could not be.
bool openDoor(TSQLConnection &db, const QString &database);
// A shutdown the copy came back in (an earlier version's run) ended.
void bringOnlineIfShut(TSQLConnection &db, const DatabaseLocation &where);
// Throws Exception naming the others at work in the database attached.
void refuseWhenInUse(TSQLConnection &db);

// The door of the database attached, closed to everyone else for the time the way back takes
// (no sale goes into a database about to be replaced), and opened again when the way back ends
// before it changed anything; let go of once a step has begun whose failure says itself what
// became of it.
class HeldDoor {
public:
    HeldDoor(TSQLConnection &db, const QString &database);
    ~HeldDoor();
    HeldDoor(const HeldDoor &) = delete;
    HeldDoor &operator=(const HeldDoor &) = delete;

    // Where to open it again: the database as the way back attached it.
    void at(const QString &database) { database_ = database; }
    void letGo() { held_ = false; }
    void reopen() const;

private:
    TSQLConnection &db_;
    QString database_;
    bool closedHere_ = false;
    bool held_ = true;
};

// The server's page copy put back (restorepages.cpp): the converted database kept, dropped,
// made anew from the copy. Returns what was done; throws saying what became of the database.
QString putBackFromPages(TSQLConnection &db, const QString &copy, const QString &database, const DatabaseLocation &where,
                         const QDateTime &when, HeldDoor &door);
// A way back of a page copy cut short after the drop, finished; nothing when it was not so.
std::optional<QString> finishCutShort(TSQLConnection &db, const QString &copy);

} // namespace restore::steps
