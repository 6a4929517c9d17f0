#include "safetycopy.h"

#include "advice.h"
#include "errors.h"
#include "filenames.h"
#include "location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ibase.h>

#include <sys/stat.h>
#include <unistd.h>

namespace safetycopy {

const QString copyNamePattern = QStringLiteral("\\.copia-(\\d{8}-\\d{6})(?:-(\\d+))?\\.(?:fb|nbk|fbk)");

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString pathFor(const QString &database, const QDateTime &when, int nth)
{
    const QFileInfo info(database);
    QString name = info.completeBaseName() + QStringLiteral(".copia-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (nth > 1)
        name += QStringLiteral("-%1").arg(nth);
    name += QStringLiteral(".fb");
    // The folder exactly as the caller wrote it, so that the copy is beside the file it named.
    return database.left(database.size() - info.fileName().size()) + name;
}

QString serverPathFor(const QString &database, const QDateTime &when, Kind kind)
{
    // The server's path may be another system's ("C:\\dados\\"): named in its own terms.
    return DatabaseLocation(database).sibling(QStringLiteral(".copia-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"))
                                              + (kind == Kind::Physical ? QStringLiteral(".nbk") : QStringLiteral(".fbk")));
}

bool physicalCopyImpossible(const std::exception &error)
{
    const auto *engine = dynamic_cast<const TDBXError *>(&error);
    if (!engine)
        return false;
    // The server knows no such action, or not this way of asking for it (an older server).
    for (const long code : {isc_svcnotdef, isc_bad_spb_form, isc_wish_list})
        if (engine->hasEngineCode(code))
            return true;
    // The server cannot read the file as pages: it cannot open it so (a file of several
    // volumes, a device), its header or size is not what a page copy reads, or it holds no
    // backup identity a page copy records.
    for (const long code : {isc_nbackup_err_opendb, isc_nbackup_err_fadvice, isc_nbackup_err_eofhdrdb,
                            isc_nbackup_dbsize_inconsistent, isc_nbackup_lostguid_bk, isc_nbackup_db_notlock})
        if (engine->hasEngineCode(code))
            return true;
    return false;
}

Plan planFor(const DatabaseLocation &where, const QDateTime &when)
{
    // What a server opened is the file it names, not an alias or a link this user may not follow;
    // so is what the embedded engine opened for an alias or a relative name.
    const QString path = where.viaServer() || !where.database().startsWith(u'/') ? where.serverFile() : where.database();
    Plan plan;
    if (where.viaServer() && !where.thisComputersServer()) {
        plan.taker = Plan::Taker::Server;
        plan.database = path;
        plan.copy = serverPathFor(path, when);
        return plan;
    }
    // A file of this computer: beside the file itself, not beside a link to it (going back
    // replaces the file the server opens).
    const QByteArray encoded = filenames::encode(path);
    char *real = ::realpath(encoded.constData(), nullptr);
    const QString file = real ? filenames::decode(QByteArray(real)) : path;
    std::free(real);
    struct stat st {};
    if (::stat(filenames::encode(file).constData(), &st) == 0)
        plan.size = qint64(st.st_size);
    const QString folder = QFileInfo(file).absolutePath();
    const bool readable = ::access(filenames::encode(file).constData(), R_OK) == 0;
    const bool writable = ::access(filenames::encode(folder).constData(), W_OK | X_OK) == 0;
    if (readable && writable) {
        plan.database = file;
        plan.copy = unusedPathFor(file, when);
        plan.partial = plan.copy + QStringLiteral(".parcial");
        return plan;
    }
    if (!where.viaServer()) {
        const int error = readable ? EACCES : errno;
        throw Exception(readable ? advice::forTechnician(QStringLiteral("Não é possível gravar a cópia de segurança em %1: %2.")
                                                             .arg(native(folder), systemMessage(error)),
                                                         QStringLiteral("Para o técnico: dê a este usuário permissão de gravação "
                                                                        "nessa pasta, ou converta pelo servidor do Firebird que "
                                                                        "tem o banco (servidor:/caminho/do/banco); ou, com uma "
                                                                        "cópia feita por outro meio, converta sem a cópia do "
                                                                        "programa (conversor --convert --no-copy %1).")
                                                             .arg(native(path)))
                                 : advice::forTechnician(QStringLiteral("Não é possível ler %1 para a cópia de segurança: %2.")
                                                             .arg(native(file), systemMessage(error)),
                                                         QStringLiteral("Para o técnico: dê a este usuário permissão de leitura "
                                                                        "no arquivo, ou converta pelo servidor do Firebird que "
                                                                        "tem o banco (servidor:/caminho/do/banco).")));
    }
    // The server's account reaches what this user does not: it makes the copy.
    plan.taker = Plan::Taker::Server;
    plan.database = file;
    plan.copy = serverPathFor(file, when);
    return plan;
}

QString unusedPathFor(const QString &database, const QDateTime &when)
{
    QString path = pathFor(database, when);
    struct stat st {};
    for (int n = 2; ::lstat(filenames::encode(path).constData(), &st) == 0; ++n)
        path = pathFor(database, when, n);
    return path;
}

} // namespace safetycopy
