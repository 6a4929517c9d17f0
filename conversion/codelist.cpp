#include "codelist.h"

#include "errors.h"
#include "filenames.h"
#include "params.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "statements.h"

#include <QFileInfo>
#include <QMap>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

QString trailingTrimmed(QString s)
{
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

// Text of the database's character set (the connection names none: bytes come as stored).
QString decode(const QByteArray &bytes, const QString &charset)
{
    if (charset == QLatin1String("WIN1252"))
        return QStringDecoder("windows-1252")(bytes);
    if (charset == QLatin1String("UTF8") || charset == QLatin1String("UNICODE_FSS"))
        return QString::fromUtf8(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString field(QString text)
{
    // A spreadsheet's import may split at tabs and commas too (LibreOffice offers all three).
    static const QString quoting = QStringLiteral(";,\t\"\r\n");
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return quoting.contains(c); }))
        text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return text;
}

// The obvious text column of a table keyed by CODPROD: one named as a description or a name,
// or the only one.
QString obviousText(const QStringList &columns)
{
    for (const char *prefix : {"DESCRICAO", "DESCR", "NOME"})
        for (const QString &c : columns)
            if (c.startsWith(QLatin1String(prefix)))
                return c;
    return columns.size() == 1 ? columns.first() : QString();
}

} // namespace

CodeList CodeList::read(TSQLConnection &db, const RewritePlan &plan)
{
    CodeList list;
    const QString charset = trimControl(queries::readAll(db, statements::defaultCharset()).value(0).value(0));
    QList<statements::ListedTable> tables;
    for (const QString &table : plan.storedTables()) {
        const CodeColumn column = plan.codeColumn(table);
        tables.append({table, column.length, column.charset});
    }
    QMap<QString, Entry> byOld;
    for (qsizetype i = 0; i < tables.size(); i += tablesAStatement)
        for (const auto &row : queries::readBytes(db, statements::codeList(tables.mid(i, tablesAStatement), charset))) {
            const QString old = trailingTrimmed(decode(row.value(0).value_or(QByteArray()), charset));
            Entry &e = byOld[old];
            e.old = old;
            e.rewritten = trailingTrimmed(decode(row.value(1).value_or(QByteArray()), charset));
            e.rows += row.value(2).value_or(QByteArray("0")).trimmed().toLongLong();
        }
    QMap<QString, int> sharing;
    for (const Entry &e : std::as_const(byOld))
        ++sharing[e.rewritten];

    // The product's description, from the first table keyed by CODPROD alone that has one.
    QMap<QString, QString> described;
    for (const QStringList &keyed : queries::readAll(db, statements::keyedByCode())) {
        const QString name = trimControl(keyed.value(0));
        if (!plan.step(name).stored)
            continue;
        QStringList columns;
        for (const QStringList &row : queries::readAll(db, statements::textColumns(name)))
            if (trimControl(row.value(0)) != QLatin1String("CODPROD"))
                columns << trimControl(row.value(0));
        const QString column = obviousText(columns);
        if (column.isEmpty())
            continue;
        for (const auto &row : queries::readBytes(db, statements::descriptions(name, column)))
            described.insert(trailingTrimmed(decode(row.value(0).value_or(QByteArray()), charset)),
                             trimControl(decode(row.value(1).value_or(QByteArray()), charset)));
        list.describedBy_ = name + u'.' + column;
        break;
    }
    for (Entry &e : byOld) {
        e.shared = sharing.value(e.rewritten) > 1;
        e.description = described.value(e.old);
        list.entries_ << e;
    }
    return list;
}

QByteArray CodeList::csv() const
{
    QString text = QStringLiteral("codigo_antigo;codigo_novo;linhas;%1;codigo_novo_repetido\r\n")
                       .arg(field(describedBy_.isEmpty() ? QStringLiteral("descricao")
                                                         : QStringLiteral("descricao (%1)").arg(describedBy_)));
    for (const Entry &e : entries_)
        text += QStringLiteral("%1;%2;%3;%4;%5\r\n")
                    .arg(field(e.old), field(e.rewritten))
                    .arg(e.rows)
                    .arg(field(e.description), e.shared ? QStringLiteral("sim") : QString());
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QString CodeList::pathFor(const QString &database, const QString &home, const QDateTime &when)
{
    const QFileInfo info(database);
    const QString name = info.completeBaseName() + QStringLiteral(".de-para-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".csv");
    const QString folder = database.left(database.size() - info.fileName().size());
    const bool local = database.startsWith(u'/');
    const QString in = local && ::access(filenames::encode(folder).constData(), W_OK | X_OK) == 0 ? folder : home + u'/';
    // Never over another list: two in one second get a number.
    QString path = in + name;
    for (int n = 2; ::access(filenames::encode(path).constData(), F_OK) == 0; ++n)
        path = in + QString(name).replace(QStringLiteral(".csv"), QStringLiteral("-%1.csv").arg(n));
    return path;
}

void CodeList::write(const QString &path) const
{
    const QByteArray bytes = csv();
    const QString partial = path + QStringLiteral(".parcial");
    const QByteArray name = filenames::encode(partial);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    auto failed = [&](int error) {
        ::unlink(name.constData());
        return Exception(QStringLiteral("Não foi possível gravar a lista de códigos %1: %2.")
                             .arg(path, systemMessage(error)));
    };
    if (fd < 0)
        throw failed(errno);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw failed(error);
        }
        written += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        throw failed(errno);
    if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, filenames::encode(path).constData(), RENAME_NOREPLACE) != 0)
        throw failed(errno);
    safetycopy::flushFolder(path);
}
