#pragma once
// The record of the triggers the tool has switched off in one database, kept in a small file
// of the user's state folder from before they are switched off until they are on again. A
// run that is cut short (killed, connection lost, disk full) leaves it behind, and the next
// switch-on in that database switches those triggers on as well, and no others.

#include <QString>
#include <QStringList>

namespace fb {

class TriggerLedger final {
public:
    // database and created identify the database (its name as the engine knows it and its
    // creation time), so that the record follows the database, not the path it was opened by.
    TriggerLedger(const QString &folder, const QString &database, const QString &created);

    QStringList names() const;
    // Replaces the record, durably (written, flushed to disk, then put in place); an empty
    // list removes it. Fails with TDBXError when it cannot.
    void write(const QStringList &names) const;
    QString file() const { return file_; }

private:
    QString file_;
    QString database_;
    QString created_;
};

} // namespace fb
