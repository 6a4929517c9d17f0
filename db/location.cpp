#include "location.h"

#include <algorithm>

namespace {

// Where "host:" ends in a database string, or -1 when it names no host: a path of this system,
// or one that begins with a drive letter ("C:\\", "C:/"), which the engine reads as a path.
qsizetype hostEnd(const QString &database)
{
    if (database.startsWith(u'/'))
        return -1;
    const qsizetype colon = database.indexOf(u':');
    if (colon <= 0)
        return -1;
    const bool driveLetter = colon == 1 && database[0].isLetter()
        && (database.size() == 2 || database[2] == u'\\' || database[2] == u'/');
    return driveLetter ? -1 : colon;
}

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
}

} // namespace

DatabaseLocation::DatabaseLocation(const QString &database) : database_(database)
{
    const qsizetype end = hostEnd(database);
    host_ = end < 0 ? QString() : database.left(end);
    path_ = end < 0 ? database : database.mid(end + 1);
}

DatabaseLocation DatabaseLocation::attached(const QString &attachedAs, const QString &serverFile)
{
    DatabaseLocation where(attachedAs);
    // A path of the server's system: "/..." or a drive's. Anything else (nothing, an alias the
    // server echoes) says nothing the name given does not.
    if (serverFile.startsWith(u'/') || (serverFile.size() > 2 && serverFile[1] == u':' && serverFile[0].isLetter()))
        where.reported_ = serverFile;
    return where;
}

bool DatabaseLocation::thisComputersServer() const
{
    const QString name = host_.section(u'/', 0, 0).toLower();
    return name == QLatin1String("localhost") || name == QLatin1String("127.0.0.1");
}

QString DatabaseLocation::localFile() const
{
    // An alias the local server knows is no path of ours to follow.
    if (!path_.startsWith(u'/'))
        return {};
    return !viaServer() || thisComputersServer() ? path_ : QString();
}

QString DatabaseLocation::serverFile() const
{
    return reported_.isEmpty() ? path_ : reported_;
}

QString DatabaseLocation::folder() const
{
    const QString file = serverFile();
    return file.left(lastSeparator(file) + 1);
}

QString DatabaseLocation::stem() const
{
    const QString file = serverFile();
    const QString name = file.mid(lastSeparator(file) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

QString DatabaseLocation::sibling(const QString &tail) const
{
    return folder() + stem() + tail;
}

QString DatabaseLocation::onSameServer(const QString &serverPath) const
{
    return viaServer() ? host_ + u':' + serverPath : serverPath;
}

QString DatabaseLocation::throughServer() const
{
    return viaServer() ? database_ : QStringLiteral("localhost:") + path_;
}

QString DatabaseLocation::serviceManager() const
{
    return viaServer() ? host_ + QStringLiteral(":service_mgr") : QStringLiteral("service_mgr");
}
