#pragma once
// The way back (conversor --restore COPY): a run's safety copy put back in its database's place,
// by the route it was made (this program's copy of the file, the server's copy of its pages, or
// the server's logical backup), while
// nobody works in the database; the converted database kept under another name beside it, never
// deleted.

#include <QDateTime>
#include <QString>

class TSQLConnection;

namespace restore {

// The database a copy is of: its record of the copy (an earlier version's copies have none:
// then the file beside it whose name the copy's begins with, .fb, .fdb or .gdb). Throws
// Exception when it cannot tell.
QString databaseOf(TSQLConnection &db, const QString &copy);

// Puts copy back in its database's place; db: a connection to use (its profile's login). A way
// back of the server's page copy cut short after it dropped the converted database (the
// database missing) is finished. Returns what was done, in a sentence; throws Exception, saying
// why, when nothing was done.
QString putBack(TSQLConnection &db, const QString &copy, const QDateTime &when = QDateTime::currentDateTime());

// The name the converted database is kept under: "<name>.convertido-<yyyyMMdd-HHmmss>.fb" beside
// it (".nbk" for the server's copy of its pages, ".fbk" for its logical backup).
QString keptName(const QString &database, const QDateTime &when, const QString &suffix);

// The name the converted database is kept under when a server's page copy goes back:
// "<name>.convertido-<the copy's time>[-n].nbk" beside it (database: the server's path), the run
// whose copy it is in its name, so that a way back cut short is found again from the copy alone.
QString keptPagesName(const QString &database, const QString &copy);

// What --check says of database when it is missing because a way back was cut short after the
// converted database was dropped (found beside it where this computer can look into its
// folder): which kept file holds the converted database, and the command that finishes it;
// empty when nothing says so.
QString cutShortText(const QString &database);

} // namespace restore
