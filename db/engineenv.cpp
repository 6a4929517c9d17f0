#include "engineenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <dlfcn.h>
#include <unistd.h>

namespace {

std::atomic<bool> signalsOurs{false};
QString missingNote;

QString settingsFolder(const QString &programDir)
{
    for (const QString &folder : engine::settingsCandidates(programDir))
        if (QFileInfo::exists(folder + QStringLiteral("/firebird.conf")))
            return folder;
    return {};
}

// The embedded engine's lock files go to a folder of this user's: the shared one may belong to
// another user (root, say) and not be writable. Two processes still cannot share a file,
// which the engine locks for itself.
QString lockFolder()
{
    QString dir = QDir::tempPath() + QStringLiteral("/conversor-firebird-%1").arg(getuid());
    QDir().mkpath(dir);
    // Only a folder of this user's own: one that somebody else made is not trusted.
    if (QFileInfo(dir).ownerId() != getuid())
        return {};
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir;
}

} // namespace

namespace engine {

QStringList settingsCandidates(const QString &programDir)
{
    const QDir dir(programDir);
    return {QDir::cleanPath(dir.filePath(QStringLiteral("firebird"))),
            QDir::cleanPath(dir.filePath(QStringLiteral("../" CONVERSOR_ENGINE_DIR)))};
}

QStringList characterSetModules(const QString &settingsFolder)
{
    QStringList modules;
    const QDir intl(settingsFolder + QStringLiteral("/intl"));
    for (const QFileInfo &module : intl.entryInfoList({QStringLiteral("*.so")}, QDir::Files)) {
        const QString real = module.canonicalFilePath();
        if (!real.isEmpty())
            modules << real;
    }
    return modules;
}

Environment prepare(const QString &programDir)
{
    Environment env;
    missingNote.clear();
    if (qEnvironmentVariableIsEmpty("FIREBIRD")) {
        env.settingsFolder = settingsFolder(programDir);
        if (!env.settingsFolder.isEmpty()) {
            qputenv("FIREBIRD", QFile::encodeName(env.settingsFolder));
            for (const QString &module : characterSetModules(env.settingsFolder))
                dlopen(QFile::encodeName(module).constData(), RTLD_LAZY | RTLD_LOCAL); // kept, as the engine keeps it
        } else {
            env.problem = QStringLiteral("A configuração do Firebird do programa não foi encontrada (%1); valem as do "
                                         "sistema, e funções externas ou conjuntos de caracteres podem faltar.")
                              .arg(settingsCandidates(programDir).join(QStringLiteral(", ")));
            missingNote = env.problem;
        }
    } else {
        env.settingsFolder = qEnvironmentVariable("FIREBIRD");
    }
    if (qEnvironmentVariableIsEmpty("FIREBIRD_LOCK")) {
        env.lockFolder = lockFolder();
        if (!env.lockFolder.isEmpty())
            qputenv("FIREBIRD_LOCK", QFile::encodeName(env.lockFolder));
    } else {
        env.lockFolder = qEnvironmentVariable("FIREBIRD_LOCK");
    }
    return env;
}

QString missingSettingsNote()
{
    return missingNote;
}

void setProgramHandlesSignals(bool on)
{
    signalsOurs = on;
}

bool programHandlesSignals()
{
    return signalsOurs;
}

} // namespace engine
