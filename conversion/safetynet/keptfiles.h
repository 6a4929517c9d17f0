#pragma once
// What the runs leave for a clerk to find again: the safety copies and the lists of old and new
// codes beside a database, found by the names the program gives them, and the status line a
// successful run ends with, which keeps saying where they went.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace keptfiles {

struct Found {
    enum class Kind { Copy, List };
    Kind kind = Kind::Copy;
    QDateTime when; // the run's time, as the name carries it
    int nth = 1;    // of runs in that second, this one's number ("-2" in the name)
    QString path;
};

// The copies ("NAME.copia-TIME[-N].fb" or ".fbk") and lists ("NAME.de-para-TIME[-N].xlsx" or
// ".csv", not the previews of --check) of the database files named (as chosen, as the server
// has it), in each of the folders given (its own, the real file's, the user's home, where a list
// goes when the database's folder cannot be written), newest first; a file found twice once.
// Partial copies are not copies.
QList<Found> find(const QStringList &databases, const QStringList &folders);

// The report's lines for them, newest first: "cópia de segurança de 10/12/2026 14:30:00: PATH",
// "lista dos códigos de 10/12/2026 14:30:00: PATH".
QStringList lines(const QList<Found> &found);

// The status line after a successful run: "Concluído!", then where the copy and the list went
// ("Cópia e lista em FOLDER", or each in its own folder); "Concluído!" alone when neither.
QString doneStatus(const QString &copy, const QString &list);

} // namespace keptfiles
