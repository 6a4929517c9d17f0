#include "sqlquery.h"

#include "errors.h"
#include "params.h"
#include "sqlconnection.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

// Parameter markers (":name" or "?") outside quoted text.
int countParams(const QString &sql)
{
    int count = 0;
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?' || (c == u':' && i + 1 < sql.size() && (sql[i + 1].isLetter() || sql[i + 1] == u'_'))) {
            ++count;
        }
    }
    return count;
}

QString decodeText(const QByteArray &bytes)
{
    // Text without a connection character set comes as bytes; most are UTF-8 or ASCII.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

} // namespace

// ---- TField

bool TField::isNull() const
{
    return !query_->reader_ || query_->eof_ || query_->reader_->value(ordinal_).null;
}

QString TField::AsString() const
{
    if (!query_->reader_ || query_->eof_)
        return QString();
    const dbx::Value v = query_->reader_->value(ordinal_);
    return v.null ? QString() : decodeText(v.text);
}

QByteArray TField::asBytes() const
{
    if (!query_->reader_ || query_->eof_)
        return QByteArray();
    const dbx::Value v = query_->reader_->value(ordinal_);
    return v.null ? QByteArray() : v.text;
}

int TField::asInteger() const
{
    if (!query_->reader_ || query_->eof_)
        return 0;
    const dbx::Value v = query_->reader_->value(ordinal_);
    if (v.null)
        return 0;
    if (v.isInteger)
        return int(v.integer);
    bool ok = false;
    const int value = trimControl(decodeText(v.text)).toInt(&ok);
    if (!ok)
        throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(decodeText(v.text)));
    return value;
}

// ---- TSQLQuery

TSQLQuery::TSQLQuery() : sql_([this] { statementChanged(); }) {}

TSQLQuery::~TSQLQuery()
{
    setSQLConnection(nullptr);
}

void TSQLQuery::setSQLConnection(TSQLConnection *connection)
{
    if (connection == connection_)
        return;
    if (connection_) {
        release();
        connection_->detach(this);
    }
    connection_ = connection;
    if (connection_) {
        connection_->attach(this);
        maxBlobSize_ = connection_->maxBlobSize();
    }
}

void TSQLQuery::statementChanged()
{
    release();
    paramCount_ = countParams(sql_.Text());
}

void TSQLQuery::closeReader()
{
    fields_.clear();
    eof_ = true;
    reader_.reset();
}

void TSQLQuery::release()
{
    closeReader();
    command_.reset();
}

void TSQLQuery::Close()
{
    closeReader();
}

void TSQLQuery::requireConnection()
{
    if (!connection_)
        throw EDatabaseError(QStringLiteral("SQLConnection property required for this operation"));
    if (!connection_->Connected())
        connection_->setConnected(true);
}

void TSQLQuery::prepare(const QString &text)
{
    command_.reset();
    command_ = connection_->link().prepare(text, Dialect);
}

std::int64_t TSQLQuery::ExecSQL()
{
    if (!connection_)
        throw EDatabaseError(QStringLiteral("SQLConnection property required for this operation"));
    if (Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    requireConnection();
    if (sql_.lines().isEmpty())
        throw EDatabaseError(QStringLiteral("No SQL statement available"));
    // No prepared statement survives an execution, whatever its outcome.
    struct Releaser {
        TSQLQuery *q;
        ~Releaser() { q->command_.reset(); }
    } releaser{this};
    prepare(sql_.Text());
    // A statement that returns rows is read for output parameters (there are none) and let go of.
    command_->execute().reset();
    recordCount_ = -1;
    return command_->rowsAffected();
}

void TSQLQuery::Open()
{
    if (!connection_)
        throw EDatabaseError(QStringLiteral("SQLConnection property required for this operation"));
    if (Active())
        return;
    if (sql_.lines().isEmpty())
        throw EDatabaseError(QStringLiteral("Missing query, table name or procedure name"));
    openText(sql_.Text());
}

void TSQLQuery::openText(const QString &text)
{
    requireConnection();
    try {
        prepare(text);
        reader_ = command_->execute();
        recordCount_ = -1;
        if (!reader_)
            throw EDatabaseError(QStringLiteral("Cursor not returned from Query"));
        const QList<dbx::ColumnInfo> &columns = reader_->columns();
        for (int i = 0; i < columns.size(); ++i)
            fields_.push_back(std::unique_ptr<TField>(new TField(*this, i, columns[i])));
        eof_ = false;
        fetch();
    } catch (...) {
        release();
        throw;
    }
}

void TSQLQuery::fetch()
{
    eof_ = !reader_->next();
}

void TSQLQuery::Next()
{
    if (Active() && !eof_)
        fetch();
}

TField &TSQLQuery::FieldByName(const QString &name)
{
    for (const auto &field : fields_)
        if (field->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return *field;
    throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

TField &TSQLQuery::field(int index)
{
    if (index < 0 || std::size_t(index) >= fields_.size())
        throw EDatabaseError(QStringLiteral("Field index out of range"));
    return *fields_[std::size_t(index)];
}

QStringList TSQLQuery::fieldNames() const
{
    QStringList names;
    for (const auto &field : fields_)
        names << field->fieldName();
    return names;
}

QString countStatement(const QString &statement, int paramCount, const QString &quote)
{
    static const QRegularExpression fromName(QStringLiteral("(?:^|\\s)from\\s+([^\\s,;)]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = fromName.match(statement);
    if (!m.hasMatch() || paramCount > 0)
        return {};
    const QString lower = statement.toLower();
    if (lower.contains(QLatin1String(" distinct ")))
        return {};
    const QString table = m.captured(1).toUpper();
    QString count = QStringLiteral("select count(*) from ") + quote + table + quote;
    const qsizetype where = lower.indexOf(QLatin1String(" where "));
    if (where >= 0) {
        count += statement.mid(where);
        const qsizetype orderBy = count.toLower().indexOf(QLatin1String(" order by "));
        if (orderBy >= 0)
            count.truncate(orderBy);
    }
    return trimControl(count);
}

int TSQLQuery::RecordCount()
{
    if (recordCount_ != -1)
        return recordCount_;
    requireConnection();
    if (sql_.lines().isEmpty())
        throw EDatabaseError(QStringLiteral("Missing query, table name or procedure name"));
    const QString count = countStatement(sql_.Text(), paramCount_, connection_->quoteChar());
    int result = -1;
    if (!count.isEmpty()) {
        try {
            TSQLQuery counter;
            counter.setSQLConnection(connection_);
            counter.openText(count);
            if (!counter.Eof())
                result = counter.fields_.front()->asInteger();
        } catch (const Exception &) {
            result = -1;
        }
    }
    if (result < 0)
        throw EDatabaseError(QStringLiteral("[0x0005]: Operation Not Supported"));
    recordCount_ = result;
    return result;
}
