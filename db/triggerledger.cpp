#include "triggerledger.h"

#include "dbxlayer.h"
#include "errors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fb {

namespace {

[[noreturn]] void fail(const QString &path)
{
    throw TDBXError(dbx::VendorError, QStringLiteral("Não foi possível registrar os gatilhos desativados em %1: %2")
                                          .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

TriggerLedger::TriggerLedger(const QString &folder, const QString &database, const QString &created)
    : database_(database), created_(created)
{
    const QByteArray key = QCryptographicHash::hash((database + u'\n' + created).toUtf8(), QCryptographicHash::Sha1);
    file_ = QDir(folder).filePath(QString::fromLatin1(key.toHex()) + QStringLiteral(".gatilhos"));
}

QStringList TriggerLedger::names() const
{
    QFile f(file_);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            names << QString::fromUtf8(line);
    return names;
}

void TriggerLedger::write(const QStringList &names) const
{
    if (names.isEmpty()) {
        if (QFile::exists(file_) && !QFile::remove(file_))
            fail(file_);
        return;
    }
    const QString folder = QFileInfo(file_).absolutePath();
    if (!QDir().mkpath(folder))
        fail(folder);
    QByteArray text = "# Gatilhos desativados pelo Conversor de dados; a próxima conversão os reativa.\n"
                      "# Banco: " + database_.toUtf8() + "\n# Criado em: " + created_.toUtf8() + "\n";
    for (const QString &name : names)
        text += name.toUtf8() + '\n';
    const QString temporary = file_ + QStringLiteral(".novo");
    QFile f(temporary);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size() || !f.flush()
        || ::fsync(f.handle()) != 0) {
        f.close();
        QFile::remove(temporary);
        fail(file_);
    }
    f.close();
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(file_).constData()) != 0) {
        QFile::remove(temporary);
        fail(file_);
    }
    if (!syncPath(folder, O_RDONLY | O_DIRECTORY))
        fail(folder);
}

} // namespace fb
