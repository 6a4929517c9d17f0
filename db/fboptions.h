#pragma once
// The attachment's and the transactions' options, read once from the entry list the
// connection sends (keys looked up ignoring letter case, the first one found wins).

#include "dbxlayer.h"

#include <string>

namespace fb {

struct ConnectOptions {
    QString database;
    QString user;
    QString password;
    QString role;     // "RoleName", else "Role"
    QString charset;  // "ServerCharSet"; empty: none named
    int dialect = 3;  // "SQLDialect" when 1, 2 or 3
    bool repeatableRead = false; // "IsolationLevel=RepeatableRead"; otherwise read committed
    bool waitOnLocks = true;     // unless "WaitOnLocks=False"
    bool readOnly = false;       // "ReadOnly=True": transactions that only read
    // "DatabaseTriggers=False": attached without firing the database's own triggers (on connect,
    // on transactions, on its DDL), as the engine allows its owner and administrator.
    bool databaseTriggers = true;
    // Seconds a server has to answer an attach ("ConnectTimeout"): one that does not is given up
    // on well before the client library's own three minutes.
    int connectTimeout = 15;
    // The embedded engine alone: the client library's own way round a file it cannot open (its
    // Loopback provider, to the local server) would hide that a server has the database.
    bool engineOnly = false;

    static ConnectOptions parse(const dbx::EntryList &entries);
    // The database parameter block: the file name's encoding, login, role, character set, dialect, the
    // time limit for reaching a server, and the engine alone when asked.
    std::string dpb(const QString &database) const;
    // The transaction parameter block: read-write (or read-only), the isolation, waiting or not.
    std::string tpb() const;
};

} // namespace fb
