#pragma once
// Where a database is, read once from the database string the user gave ("/dados/loja.fb",
// "servidor:/dados/loja.fb", "servidor/3051:C:\\dados\\loja.fdb", "localhost:loja", an alias) and,
// once attached, from what the engine reports (the file as the server opened it, an alias or a
// link resolved). The one place that tells a host from a path: everything that names a file of
// the database's (its copies, the converted database kept aside) asks it, so that each file is
// named in the form its route takes.

#include <QString>

class DatabaseLocation final {
public:
    DatabaseLocation() = default;
    // What the user gave (or a connection attached): a path for the engine here, or a server's
    // "host:path", "host/port:path", "host:alias". A drive letter ("C:\\dados\\loja.fdb") is no
    // host: a path of another system, as the engine here would take it.
    explicit DatabaseLocation(const QString &database);
    // Once attached: what the engine attached (a path, or "localhost:" and it when a server here
    // holds the file) and the file as that server opened it (MON$DATABASE_NAME; empty: not known).
    static DatabaseLocation attached(const QString &attachedAs, const QString &serverFile);

    // The database string as given or attached.
    const QString &database() const { return database_; }
    // The server named, as written ("servidor", "10.0.0.5/3051", "localhost"); empty for a path.
    const QString &host() const { return host_; }
    bool viaServer() const { return !host_.isEmpty(); }
    // Whether the server named is this computer's own (localhost, 127.0.0.1, any port).
    bool thisComputersServer() const;

    // The file on this computer that this program can reach directly: the path given, or a
    // local server's path; empty for an alias, a relative name, or another computer's server.
    // What the user chose, not what the server resolved it to: a file swapped at this path is
    // a different file.
    QString localFile() const;
    // The file as the server sees it: what it reported opening when that is a path (a link or an
    // alias resolved), else what follows the host (an alias stays one); for a path, the path.
    QString serverFile() const;
    // The folder of serverFile(), with its last separator, in that system's own ("/dados/",
    // "C:\\dados\\"); empty when the name has none (an alias the server did not resolve).
    QString folder() const;
    // serverFile()'s name without its last suffix ("loja" for "loja.fb").
    QString stem() const;

    // A file beside the database, as the server sees it (what a service's file argument
    // takes): folder(), stem(), then what follows it (".copia-20261210-143000.nbk").
    QString sibling(const QString &tail) const;
    // A database string for a file of the same server: "host:" and the path, or the path alone
    // on the engine here (what an attach or a service's database argument takes).
    QString onSameServer(const QString &serverPath) const;
    // The database string for this computer's server: as given when a host is named, else
    // "localhost:" and the path (a full shutdown only a server can end).
    QString throughServer() const;
    // The service manager of the engine that serves it: "host:service_mgr", or the embedded
    // engine's "service_mgr".
    QString serviceManager() const;

private:
    QString database_;
    QString host_;
    QString path_;     // what follows the host: a path of the server's system, or an alias
    QString reported_; // the file as the server opened it, when it said so
};
