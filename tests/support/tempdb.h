#pragma once

#include <QString>
#include <QTemporaryDir>

// A test's own small world: a folder of temporary database files, removed with everything in
// it when the guard goes. Making one also sets up the engine's environment the way the
// program does (its settings folder and a lock folder of this user's).
class TempDatabases {
public:
    TempDatabases();
    bool isValid() const { return dir_.isValid(); }
    QString path(const QString &name) const { return dir_.filePath(name); }
    // Creates a SQL dialect 1 database (with the given CREATE DATABASE options, such as a
    // default character set) by running script after CREATE DATABASE; returns its path, or an
    // empty text when isql failed or complained, with what it said in lastError().
    [[nodiscard]] QString create(const QString &name, const QString &script = {}, const QString &options = {});
    // A database made under SQL dialect 3 with script and then switched to dialect 1, as one
    // comes to hold names that dialect 1 cannot write.
    [[nodiscard]] QString createFromDialect3(const QString &name, const QString &script);
    QString lastError() const { return lastError_; }

    struct Isql {
        bool ok = false;
        QString output;
    };
    // Runs a script on an existing database with isql (SET BAIL ON: it stops at the first error).
    [[nodiscard]] static Isql isql(const QString &database, const QString &script);
    // The text of a file in tests/fixtures.
    static QString fixture(const QString &name);

private:
    QTemporaryDir dir_;
    QString lastError_;
};
