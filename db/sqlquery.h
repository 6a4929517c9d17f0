#pragma once

#include "dbxlayer.h"
#include "sqlstrings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class TSQLConnection;
class TSQLQuery;

// One column of an open result.
class TField final {
public:
    const QString &fieldName() const { return info_.name; }
    bool isNull() const;
    // The current row's value as the layer delivers it; empty when null or past the end.
    QString AsString() const;
    // The value's bytes as the layer delivers them (text in the column's own character set).
    QByteArray asBytes() const;
    int asInteger() const;

private:
    friend class TSQLQuery;
    TField(TSQLQuery &query, int ordinal, dbx::ColumnInfo info)
        : query_(&query), ordinal_(ordinal), info_(std::move(info)) {}
    TSQLQuery *query_;
    int ordinal_;
    dbx::ColumnInfo info_;
};

// A statement run on a connection: executed once, or opened and read forward.
class TSQLQuery final {
public:
    TSQLQuery();
    ~TSQLQuery();
    TSQLQuery(const TSQLQuery &) = delete;
    TSQLQuery &operator=(const TSQLQuery &) = delete;

    void setSQLConnection(TSQLConnection *connection);
    TSQLConnection *SQLConnection() const { return connection_; }
    TSQLStrings &SQL() { return sql_; }
    // The SQL dialect its statements are written in; 0 (the default) for the connection's. A
    // statement naming what dialect 1 cannot write (a quoted name) is written in dialect 3.
    int Dialect = 0;
    int MaxBlobSize() const { return maxBlobSize_; }

    // Prepares, executes and releases the statement; returns the rows affected.
    std::int64_t ExecSQL();
    void Open();
    void Close();
    bool Active() const { return reader_ != nullptr; }
    bool Eof() const { return eof_; }
    void Next();
    TField &FieldByName(const QString &name);
    // The field of column index (from 0) of the open result.
    TField &field(int index);
    QStringList fieldNames() const;
    int RecordCount();

private:
    friend class TField;
    friend class TSQLConnection;

    void statementChanged();
    // Closes the result and lets go of the layer command (used on disconnect too).
    void release();
    void closeReader();
    void prepare(const QString &text);
    void openText(const QString &text);
    void requireConnection();
    void fetch();

    TSQLConnection *connection_ = nullptr;
    TSQLStrings sql_;
    int paramCount_ = 0;
    int maxBlobSize_ = 0;
    std::unique_ptr<dbx::Command> command_;
    std::unique_ptr<dbx::Reader> reader_; // goes before command_
    bool eof_ = true;
    int recordCount_ = -1;
    std::vector<std::unique_ptr<TField>> fields_;
};

// The statement RecordCount runs to count the rows of the given statement; empty when the
// statement has no table to count (no FROM, parameters or DISTINCT).
QString countStatement(const QString &statement, int paramCount, const QString &quote);
