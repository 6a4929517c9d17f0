#include "keptfiles.h"

#include "filenames.h"
#include "safetycopy.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace keptfiles {

namespace {

// The folder of a path as written, without its last separator; a server's own ("C:\\dados\\")
// is its system's.
QString folderOf(const QString &path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return slash < 0 ? QString() : slash == 0 ? path.left(1) : path.left(slash);
}

// The entries of a folder, by the bytes the system names them with.
QStringList entries(const QString &folder)
{
    QStringList names;
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(filenames::encode(folder).constData()), ::closedir);
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir.get()))
        names << filenames::decode(QByteArray(e->d_name));
    return names;
}

} // namespace

QList<Found> find(const QStringList &databases, const QStringList &folders)
{
    QList<Found> found;
    QStringList stems;
    for (const QString &database : databases)
        if (const QString stem = QFileInfo(database).completeBaseName(); !stem.isEmpty() && !stems.contains(QRegularExpression::escape(stem)))
            stems << QRegularExpression::escape(stem);
    if (stems.isEmpty())
        return found;
    const QString names = QStringLiteral("^(?:") + stems.join(u'|') + u')';
    const QString time = QStringLiteral("(\\d{8}-\\d{6})(?:-(\\d+))?");
    const QRegularExpression copy(names + safetycopy::copyNamePattern + u'$');
    const QRegularExpression list(names + QStringLiteral("\\.de-para-") + time + QStringLiteral("\\.(?:xlsx|csv)$"));
    QList<QPair<dev_t, ino_t>> seen;
    for (QString folder : folders) {
        if (folder.isEmpty())
            continue;
        if (!folder.endsWith(u'/'))
            folder += u'/';
        for (const QString &name : entries(folder)) {
            QRegularExpressionMatch m = copy.match(name);
            const Found::Kind kind = m.hasMatch() ? Found::Kind::Copy : Found::Kind::List;
            if (!m.hasMatch())
                m = list.match(name);
            if (!m.hasMatch())
                continue;
            struct stat st {};
            const QString path = folder + name;
            if (::stat(filenames::encode(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)
                || seen.contains(qMakePair(st.st_dev, st.st_ino)))
                continue;
            seen << qMakePair(st.st_dev, st.st_ino);
            found << Found{kind, QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss")),
                           m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), path};
        }
    }
    // Newest first (of one second, the later run's number first); of one run, the copy before its
    // list, the spreadsheet before the CSV.
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.when != b.when)
            return a.when > b.when;
        if (a.nth != b.nth)
            return a.nth > b.nth;
        if (a.kind != b.kind)
            return a.kind == Found::Kind::Copy;
        return a.path > b.path;
    });
    return found;
}

QStringList lines(const QList<Found> &found)
{
    QStringList out;
    for (const Found &f : found)
        out << (f.kind == Found::Kind::Copy ? QStringLiteral("cópia de segurança de %1: %2")
                                            : QStringLiteral("lista dos códigos de %1: %2"))
                   .arg(f.when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), f.path);
    return out;
}

QString doneStatus(const QString &copy, const QString &list)
{
    QString done = QStringLiteral("Concluído!");
    const QString copyIn = folderOf(copy), listFolder = folderOf(list);
    if (!copyIn.isEmpty() && copyIn == listFolder)
        return done + QStringLiteral(" Cópia e lista em ") + copyIn;
    if (!copyIn.isEmpty())
        done += QStringLiteral(" Cópia em ") + copyIn;
    if (!listFolder.isEmpty())
        done += (copyIn.isEmpty() ? QStringLiteral(" Lista em ") : QStringLiteral("; lista em ")) + listFolder;
    return done;
}

} // namespace keptfiles
