#pragma once
// The door a run closes on its database: a trigger of the database's own, on connect, that
// refuses every attachment, the administrator's included, with a message in the shop's words
// naming the file and the command that gives it back. The engine fires it for everyone but a
// connection that asks to skip the database's triggers, which only the administrator or the
// owner may ask: this program's own attachments, and the server's copy it asks for. It is
// committed before the run changes anything else and goes with the run's last commit; a run
// cut short leaves it, so that nobody writes into a database with its triggers off, until the
// run is made good (repair.h). Statements go into the connection's open transaction.

#include <QString>

class TSQLConnection;
class TSQLQuery;

namespace guard {

// The names of the trigger and of the exception it raises: the tool's own.
extern const QString triggerName;
extern const QString exceptionName;

// The text a refused connection meets, for the database the user named as file.
QString refusal(const QString &file);

// Whether the database has the door closed (the trigger is there).
bool closed(TSQLConnection &db);
// Closes it: the exception and the trigger, in the open transaction.
void close(TSQLQuery &query, const QString &file);
// Another text for the refusal (a copy's), in the open transaction.
void reword(TSQLQuery &query, const QString &text);
// Opens it: both gone, in the open transaction.
void open(TSQLQuery &query);

} // namespace guard
