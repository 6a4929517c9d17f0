#pragma once

#include <QString>
#include <QTemporaryDir>

// A folder of temporary database files, removed with everything in it when the guard goes.
class TempDatabases {
public:
    TempDatabases();
    bool isValid() const { return dir_.isValid(); }
    QString path(const QString &name) const { return dir_.filePath(name); }
    // Creates a SQL dialect 1 database by running the given script after CREATE DATABASE;
    // returns its path. Fails the test (QVERIFY) when isql does.
    QString create(const QString &name, const QString &script = {});
    // Runs a script on an existing database with isql and returns what it printed.
    static QString isql(const QString &database, const QString &script);

private:
    QTemporaryDir dir_;
};
