#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>
#include <utility>

// A user and password for the engine.
struct TLogin {
    QString user;
    QString password;
    bool operator==(const TLogin &) const = default;
};

// The logins a connection may try once a server refuses the profile's, and those servers have
// taken. Kept in memory only, for as long as the process runs: never written anywhere. Shared by
// the connections of one program run, so that a login given once serves every attach and
// services manager of that server. Thread-safe.
class TLogins {
public:
    // Another login to try, asked for after a server refused one: the database string, the
    // login just refused, and how many times this source was asked before in the same attempt
    // to get in. nullopt: none (given up, cancelled, or nobody to ask).
    using Source = std::function<std::optional<TLogin>(const QString &database, const TLogin &refused, int asked)>;

    // The source asked last; returns the one it replaces.
    Source setSource(Source source);
    Source source() const;

    // The login a server took last (database names the server), if any.
    std::optional<TLogin> accepted(const QString &database) const;
    void accept(const QString &database, const TLogin &login);

    // The Firebird convention: ISC_PASSWORD, with ISC_USER (or user when it is not set), when
    // ISC_PASSWORD is set.
    static std::optional<TLogin> fromEnvironment(const QString &user);
    // The server a database string is reached through, as a key: "host" or "host/port" of
    // "host:path" and "inet://host:port/path", lower case; "localhost" for a path here (the
    // embedded engine takes any login, and a server that holds the file is this computer's).
    static QString serverOf(const QString &database);

private:
    mutable std::mutex guard_;
    Source source_;
    QHash<QString, TLogin> accepted_;
};
