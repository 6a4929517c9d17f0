#include "logins.h"

TLogins::Source TLogins::setSource(Source source)
{
    std::lock_guard lock(guard_);
    return std::exchange(source_, std::move(source));
}

TLogins::Source TLogins::source() const
{
    std::lock_guard lock(guard_);
    return source_;
}

std::optional<TLogin> TLogins::accepted(const QString &database) const
{
    std::lock_guard lock(guard_);
    const auto it = accepted_.constFind(serverOf(database));
    return it == accepted_.cend() ? std::nullopt : std::optional<TLogin>(*it);
}

void TLogins::accept(const QString &database, const TLogin &login)
{
    std::lock_guard lock(guard_);
    accepted_.insert(serverOf(database), login);
}

std::optional<TLogin> TLogins::fromEnvironment(const QString &user)
{
    if (!qEnvironmentVariableIsSet("ISC_PASSWORD"))
        return std::nullopt;
    const QString named = qEnvironmentVariable("ISC_USER");
    return TLogin{named.isEmpty() ? user : named, qEnvironmentVariable("ISC_PASSWORD")};
}

QString TLogins::serverOf(const QString &database)
{
    QString host;
    if (const qsizetype scheme = database.indexOf(QLatin1String("://")); scheme > 0) {
        // inet://host[:port]/path
        host = database.mid(scheme + 3).section(u'/', 0, 0).replace(u':', u'/');
    } else if (!database.startsWith(u'/')) {
        // host[/port]:path
        const qsizetype colon = database.indexOf(u':');
        if (colon > 0)
            host = database.left(colon);
    }
    host = host.toLower();
    if (host.isEmpty() || host == QLatin1String("127.0.0.1") || host.startsWith(QLatin1String("127.0.0.1/")))
        return host.isEmpty() ? QStringLiteral("localhost") : QStringLiteral("localhost") + host.mid(9);
    return host;
}
