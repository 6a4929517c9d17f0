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
        } else if (c == u'?') {
            ++count;
        } else if (c == u':' && i + 1 < sql.size() && (sql[i + 1].isLetter() || sql[i + 1] == u'_')) {
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

bool TField::IsNull() const
{
    if (!query_->reader_ || query_->eof_)
        return true;
    QByteArray value;
    bool isNull = true;
    query_->layer().check(query_->reader_, query_->layer().getString(query_->reader_, ordinal_, value, isNull));
    return isNull;
}

QString TField::AsString() const
{
    if (!query_->reader_ || query_->eof_)
        return QString();
    QByteArray value;
    bool isNull = false;
    query_->layer().check(query_->reader_, query_->layer().getString(query_->reader_, ordinal_, value, isNull));
    return isNull ? QString() : decodeText(value);
}

int TField::AsInteger() const
{
    if (!query_->reader_ || query_->eof_)
        return 0;
    if (info_.kind == dbx::ColumnKind::Integer) {
        std::int64_t value = 0;
        bool isNull = false;
        query_->layer().check(query_->reader_, query_->layer().getInt64(query_->reader_, ordinal_, value, isNull));
        return isNull ? 0 : int(value);
    }
    bool ok = false;
    const int value = trimControl(AsString()).toInt(&ok);
    if (!ok && !IsNull())
        throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(AsString()));
    return value;
}

// ---- TSQLQuery

TSQLQuery::TSQLQuery() : sql_([this] { statementChanged(); }) {}

TSQLQuery::~TSQLQuery()
{
    try {
        setSQLConnection(nullptr);
    } catch (...) {
    }
}

dbx::Layer &TSQLQuery::layer() const
{
    return connection_->layer();
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
    if (reader_) {
        const dbx::Handle reader = reader_;
        reader_ = 0;
        layer().close(reader);
    }
}

void TSQLQuery::release()
{
    if (!connection_)
        return;
    closeReader();
    if (command_) {
        const dbx::Handle command = command_;
        command_ = 0;
        layer().close(command);
    }
}

void TSQLQuery::Close()
{
    if (connection_)
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
    if (command_) {
        const dbx::Handle old = command_;
        command_ = 0;
        layer().close(old);
    }
    dbx::Handle command = 0;
    const dbx::Handle connection = connection_->handle();
    layer().check(connection, layer().createCommand(connection, QStringLiteral("Dbx.SQL"), command));
    const int code = layer().prepare(command, text, 0);
    if (code != dbx::Ok) {
        try {
            layer().check(command, code);
        } catch (...) {
            layer().close(command);
            throw;
        }
    }
    command_ = command;
}

std::int64_t TSQLQuery::ExecSQL(bool)
{
    if (!connection_)
        throw EDatabaseError(QStringLiteral("SQLConnection property required for this operation"));
    if (Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    requireConnection();
    if (sql_.lines().isEmpty())
        throw EDatabaseError(QStringLiteral("No SQL statement available"));
    prepare(sql_.Text());
    // No prepared statement survives an execution, whatever its outcome.
    struct Releaser {
        TSQLQuery *q;
        dbx::Handle reader = 0;
        ~Releaser()
        {
            if (reader)
                q->layer().close(reader);
            if (q->command_) {
                q->layer().close(q->command_);
                q->command_ = 0;
            }
        }
    } releaser{this};
    layer().check(command_, layer().execute(command_, releaser.reader));
    recordCount_ = -1;
    std::int64_t rows = 0;
    layer().check(command_, layer().rowsAffected(command_, rows));
    return rows;
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
    prepare(text);
    dbx::Handle reader = 0;
    try {
        layer().check(command_, layer().execute(command_, reader));
        recordCount_ = -1;
        if (!reader)
            throw EDatabaseError(QStringLiteral("Cursor not returned from Query"));
    } catch (...) {
        release();
        throw;
    }
    reader_ = reader;
    try {
        int count = 0;
        layer().check(reader_, layer().columnCount(reader_, count));
        for (int i = 0; i < count; ++i) {
            dbx::ColumnInfo info;
            layer().check(reader_, layer().columnMetadata(reader_, i, info));
            fields_.push_back(std::unique_ptr<TField>(new TField(*this, i, info)));
        }
        eof_ = false;
        fetch();
    } catch (...) {
        closeReader();
        throw;
    }
}

void TSQLQuery::fetch()
{
    const int code = layer().next(reader_);
    if (code == dbx::EndOfRows || code == dbx::NoData)
        eof_ = true;
    else
        layer().check(reader_, code);
}

void TSQLQuery::Next()
{
    if (Active() && !eof_)
        fetch();
}

TField &TSQLQuery::FieldByName(const QString &name)
{
    for (const auto &field : fields_)
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return *field;
    throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

QStringList TSQLQuery::fieldNames() const
{
    QStringList names;
    for (const auto &field : fields_)
        names << field->FieldName();
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
                result = counter.fields_.front()->AsInteger();
        } catch (const Exception &) {
            result = -1;
        }
    }
    if (result < 0)
        throw EDatabaseError(QStringLiteral("[0x0005]: Operation Not Supported"));
    recordCount_ = result;
    return result;
}
