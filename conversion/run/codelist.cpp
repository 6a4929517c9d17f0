#include "codelist.h"

#include "errors.h"
#include "filenames.h"
#include "params.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "statements.h"
#include "survey.h"

#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <functional>
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
    if (charset == QLatin1String("ISO8859_1"))
        return QString::fromLatin1(bytes);
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

QString descriptionHeader(const QString &describedBy)
{
    return describedBy.isEmpty() ? QStringLiteral("descricao") : QStringLiteral("descricao (%1)").arg(describedBy);
}

// A cell's text as the spreadsheet's XML holds it: the library writes a control character as
// "_xHHHH_", so a text that holds such a sequence itself has its "_" written so too, and reads
// back as it was.
QByteArray cellText(QString text)
{
    static const QRegularExpression escapeLike(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
    return text.replace(escapeLike, QStringLiteral("_x005F_\\1")).toUtf8();
}

// Why a file of the list could not be written, in the system's words.
struct WriteFailure {
    QString reason;
};

// Writes path whole or not at all: fill writes the file under a temporary name, made here
// (never over another file) and open as fd; then it is flushed and renamed, never over a file
// of that name either.
void writeWhole(const QString &path, const std::function<void(int fd, const QByteArray &name)> &fill)
{
    const QString partial = path + QStringLiteral(".parcial");
    const QByteArray name = filenames::encode(partial);
    const auto notWritten = [&](const QString &reason) {
        return Exception(QStringLiteral("Não foi possível gravar a lista de códigos %1: %2.").arg(path, reason));
    };
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw notWritten(systemMessage(errno)); // a file of that name is not this list's to remove
    const auto failed = [&](const QString &reason) {
        ::unlink(name.constData());
        return notWritten(reason);
    };
    try {
        fill(fd, name);
    } catch (const WriteFailure &f) {
        ::close(fd);
        throw failed(f.reason);
    }
    int error = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw failed(systemMessage(error));
    if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, filenames::encode(path).constData(), RENAME_NOREPLACE) != 0)
        throw failed(systemMessage(errno));
    safetycopy::flushFolder(path);
}

} // namespace

CodeList CodeList::read(TSQLConnection &db, const RewritePlan &plan)
{
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
    return described(db, plan, byOld, charset);
}

CodeList CodeList::fromSurvey(TSQLConnection &db, const Survey &survey)
{
    const RewritePlan &plan = survey.plan();
    QMap<QString, Entry> byOld;
    for (const QString &table : plan.storedTables()) {
        const QString charset = survey.codesCharset(table);
        for (const Survey::CodeGroup &g : survey.codeGroupsOf(table)) {
            const QString old = trailingTrimmed(decode(g.old, charset));
            Entry &e = byOld[old];
            // Codes the same but for their columns (a CHAR's filling): one line, the first
            // table's new code.
            if (e.old.isNull()) {
                e.old = old;
                e.rewritten = trailingTrimmed(decode(g.rewritten.value_or(QByteArray()), charset));
            }
            e.rows += g.rows;
        }
    }
    return described(db, plan, byOld, survey.databaseCharset());
}

CodeList CodeList::described(TSQLConnection &db, const RewritePlan &plan, const QMap<QString, Entry> &byOld, const QString &charset)
{
    CodeList list;
    QMap<QString, int> sharing;
    for (const Entry &e : byOld)
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
    for (Entry e : byOld) {
        e.shared = sharing.value(e.rewritten) > 1;
        e.description = described.value(e.old);
        list.entries_ << e;
    }
    return list;
}

QByteArray CodeList::csv() const
{
    QString text = QStringLiteral("codigo_antigo;codigo_novo;linhas;%1;codigo_novo_repetido\r\n").arg(field(descriptionHeader(describedBy_)));
    for (const Entry &e : entries_)
        text += QStringLiteral("%1;%2;%3;%4;%5\r\n")
                    .arg(field(e.old), field(e.rewritten))
                    .arg(e.rows)
                    .arg(field(e.description), e.shared ? QStringLiteral("sim") : QString());
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

CodeList::Files CodeList::pathsFor(const QString &database, const QString &home, const QDateTime &when, Kind kind)
{
    const QFileInfo info(database);
    const QString stem = info.completeBaseName() + (kind == Kind::Preview ? QStringLiteral(".previa-de-para-") : QStringLiteral(".de-para-"))
        + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString folder = database.left(database.size() - info.fileName().size());
    const bool local = database.startsWith(u'/');
    const QString in = local && ::access(filenames::encode(folder).constData(), W_OK | X_OK) == 0 ? folder : home + u'/';
    const auto taken = [](const QString &path) { return ::access(filenames::encode(path).constData(), F_OK) == 0; };
    // Never over another list: two in one second get a number, the same for both files.
    for (int n = 1;; ++n) {
        const QString base = in + stem + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        Files files{base + QStringLiteral(".xlsx"), base + QStringLiteral(".csv")};
        if (!taken(files.sheet) && !taken(files.csv))
            return files;
    }
}

CodeList::Written CodeList::write(const Files &files) const
{
    Written written;
    QStringList problems;
    try {
        writeSheet(files.sheet);
        written.sheet = files.sheet;
    } catch (const Exception &e) {
        problems << e.message();
    }
    try {
        writeCsv(files.csv);
        written.csv = files.csv;
    } catch (const Exception &e) {
        problems << e.message();
    }
    written.problem = problems.join(u'\r');
    return written;
}

void CodeList::writeCsv(const QString &path) const
{
    const QByteArray bytes = csv();
    writeWhole(path, [&](int fd, const QByteArray &) {
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw WriteFailure{systemMessage(errno)};
            written += n;
        }
    });
}

void CodeList::writeSheet(const QString &path) const
{
    writeWhole(path, [&](int, const QByteArray &name) {
        if (entries_.size() > sheetRows)
            throw WriteFailure{QStringLiteral("a planilha comporta no máximo %1 códigos, e a lista tem %2; a lista inteira "
                                              "está no CSV")
                                   .arg(sheetRows)
                                   .arg(entries_.size())};
        // Rows go to the file as they are made: a list of any length in little memory.
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        lxw_workbook *book = workbook_new_opt(name.constData(), &options);
        if (!book)
            throw WriteFailure{systemMessage(ENOMEM)};
        lxw_error error = LXW_NO_ERROR;
        const auto check = [&](lxw_error e) {
            if (error == LXW_NO_ERROR)
                error = e;
        };
        lxw_worksheet *sheet = workbook_add_worksheet(book, "de-para");
        // The code columns and the description typed as text, cells and columns: a code stays
        // as written (000203), and one typed in later too.
        constexpr uint8_t textFormat = 49; // the built-in "@"
        lxw_format *text = workbook_add_format(book);
        format_set_num_format_index(text, textFormat);
        lxw_format *header = workbook_add_format(book);
        format_set_bold(header);
        format_set_num_format_index(header, textFormat);
        if (!sheet) {
            check(LXW_ERROR_CREATING_TMPFILE); // what a worksheet of constant memory needs first
        } else {
            const auto put = [&](lxw_row_t row, lxw_col_t column, const QString &value, lxw_format *format) {
                check(worksheet_write_string(sheet, row, column, cellText(value).constData(), format));
            };
            check(worksheet_set_column(sheet, 0, 1, 16, text));
            check(worksheet_set_column(sheet, 2, 2, 8, nullptr));
            check(worksheet_set_column(sheet, 3, 3, 50, text));
            check(worksheet_set_column(sheet, 4, 4, 22, text));
            const QStringList names{QStringLiteral("codigo_antigo"), QStringLiteral("codigo_novo"), QStringLiteral("linhas"),
                                    descriptionHeader(describedBy_), QStringLiteral("codigo_novo_repetido")};
            for (lxw_col_t c = 0; c < lxw_col_t(names.size()); ++c)
                put(0, c, names.at(c), header);
            lxw_row_t row = 0;
            for (const Entry &e : entries_) {
                ++row;
                put(row, 0, e.old, text);
                put(row, 1, e.rewritten, text);
                check(worksheet_write_number(sheet, row, 2, double(e.rows), nullptr));
                put(row, 3, e.description, text);
                put(row, 4, e.shared ? QStringLiteral("sim") : QString(), text);
            }
            worksheet_freeze_panes(sheet, 1, 0);
            check(worksheet_autofilter(sheet, 0, 0, row, 4));
        }
        check(workbook_close(book)); // frees the book whatever went before
        if (error != LXW_NO_ERROR)
            throw WriteFailure{QString::fromUtf8(lxw_strerror(error))};
    });
}
