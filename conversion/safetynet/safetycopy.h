#pragma once
// The copy a run takes of its database before it changes anything, so that a user can go back
// to the codes as they were: where it goes, whether its folder has room, the copy itself, and
// the fix-up that lets a copy taken under the engine's backup lock open on its own. File work
// only: the caller holds the engine's backup lock around copyFile().

#include <QDateTime>
#include <QString>

class DatabaseLocation;

#include <atomic>
#include <exception>
#include <functional>

namespace safetycopy {

// A path as the user reads it in a message.
QString native(const QString &path);

// Who takes a run's copy, and where it goes.
struct Plan {
    enum class Taker {
        Program, // this program copies the file beside it, under the engine's backup lock
        Server,  // the server that holds the database backs it up beside it, as its own account
    };
    Taker taker = Taker::Program;
    QString database; // the file (a link followed to it), or its path on the server
    QString copy;     // where the finished copy goes (on the server, for the server's)
    QString partial;  // where this program writes it until it is whole
    qint64 size = -1; // the file's size, when this computer can tell
};
// The copy of the database where names, as attached (its file as the server opened it
// included, which a server's copy goes beside, whatever the name given: an alias of
// databases.conf, a link): this program's when it can read the file and write its folder, else
// the server's when a server holds the database. Throws Exception, saying why, when nobody can
// take it.
Plan planFor(const DatabaseLocation &where, const QDateTime &when);
// What follows a database's name in its copies' names, as a regular expression: ".copia-", the
// time (captured), a number when two runs shared a second (captured), and the extension of a
// copy by this program (".fb"), by a server's pages (".nbk") or by its backup (".fbk").
extern const QString copyNamePattern;

// The server's copy of a database: "<folder>/<name>.copia-<yyyyMMdd-HHmmss>.nbk", the engine's
// physical copy of its pages (nbackup level 0), or with Kind::Logical ".fbk", its logical backup
// (gbak's format), where the physical one cannot be made.
enum class Kind { Physical, Logical };
QString serverPathFor(const QString &database, const QDateTime &when, Kind kind = Kind::Physical);
// Whether the engine's refusal of a physical copy (its error) says it cannot make one of this
// database on this server at all, where its logical backup still can: a server without the
// action, or a file it cannot read page by page. Not so a failure to write the copy (a full
// disk, no right to the folder): the logical backup goes to the same folder.
bool physicalCopyImpossible(const std::exception &error);

// Where the copy of database goes, beside it: "<folder>/<name>.copia-<yyyyMMdd-HHmmss>.fb",
// name being the file name without its last suffix; the nth copy of one second gets "-n" before
// ".fb".
QString pathFor(const QString &database, const QDateTime &when, int nth = 1);
// The first of those names that no file has: a copy never goes over another.
QString unusedPathFor(const QString &database, const QDateTime &when);

// The room asked beyond the copy's own size: a tenth of it, at least 64 MiB. After the copy the
// run grows the database beside it (each rewritten row keeps its old version for a while), and
// a full filesystem would fail the run halfway or the programs that share the folder.
qint64 margin(qint64 size);

// Before anything changes: throws Exception when the copy's folder cannot be written (naming
// the folder and the system's reason) or lacks size plus margin(size). MB are MiB: what is
// needed is rounded up, what there is rounded down.
void checkRoom(const QString &copyPath, qint64 size);

// How a copy was made: a clone sharing the file's blocks (the filesystem copies a block only
// when one of the two files changes it), the kernel copying in chunks, or read and write in
// chunks where the kernel cannot copy between the two files.
enum class Method { Clone, CopyRange, ReadWrite };

// Copies from -> to, which must not exist (never overwritten). Reports progress as a whole
// percentage when it grows, 100 only once the copy and its folder are flushed (a clone reports
// 100 alone). stop, when given, is polled between chunks. On any failure or stop the partial
// copy is removed and Exception names the copy and the reason. The copy takes the permission
// bits of from, and its owner where the system allows.
Method copyFile(const QString &from, const QString &to, const std::function<void(int percent)> &progress,
                const std::atomic<bool> *stop = nullptr);

// Flushes the folder a file is in, so that a name given there survives a power cut; throws
// Exception naming the file and the reason.
void flushFolder(const QString &file);

// Gives a finished copy its name, never over another file, and flushes the folder; throws
// Exception naming the copy and the reason.
void rename(const QString &from, const QString &to);

// A copy taken between ALTER DATABASE BEGIN BACKUP and END BACKUP carries the "under backup"
// state in its header page and does not open (the engine asks for "<copy>.delta"). Clears that
// state so that the copy opens as a database of its own, and a shutdown the database was in
// (a run has it to itself), and flushes it. Throws Exception when the file is no Firebird 3
// database (on-disk structure 12) or not under the backup lock.
void fixUp(const QString &copy);

} // namespace safetycopy
