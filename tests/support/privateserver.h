#pragma once

#include "dbxlayer.h"

#include <QString>
#include <QTemporaryDir>

// A Firebird server of the test's own (tests/support/private-server), stopped with everything
// in its folder when the guard goes. Clients reach it as "localhost/PORT:/path".
class PrivateServer {
public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer &) = delete;
    PrivateServer &operator=(const PrivateServer &) = delete;

    bool isRunning() const { return port_ != 0; }
    QString problem() const { return problem_; }
    // A database this server holds: path on this computer, named through the server.
    QString database(const QString &path) const { return QStringLiteral("localhost/%1:%2").arg(port_).arg(path); }
    QString folder() const { return dir_.path(); }
    // The entries that log in to database as its administrator.
    static dbx::EntryList login(const QString &database)
    {
        return {{"Database", database}, {"User_Name", "SYSDBA"}, {"Password", "quokkafen"}};
    }

private:
    QTemporaryDir dir_;
    int port_ = 0;
    QString problem_;
};
