#include "privateserver.h"

#include <QCoreApplication>
#include <QProcess>

namespace {

QString script()
{
    return QStringLiteral(SUPPORT_DIR "/private-server");
}

} // namespace

PrivateServer::PrivateServer() : dir_(QDir::tempPath() + QStringLiteral("/conversor-server-XXXXXX"))
{
    QProcess start;
    start.start(script(), {QStringLiteral("start"), QStringLiteral(BUILD_DIR), dir_.path()});
    if (!start.waitForFinished(30000) || start.exitCode() != 0) {
        problem_ = QString::fromUtf8(start.readAllStandardError());
        return;
    }
    port_ = QString::fromUtf8(start.readAllStandardOutput()).trimmed().toInt();
}

PrivateServer::~PrivateServer()
{
    QProcess::execute(script(), {QStringLiteral("stop"), dir_.path()});
}
