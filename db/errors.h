#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>

// Failures carry a message text; callers use only the message.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString &message() const noexcept { return message_; }
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// The connection's and the query objects' own checks.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A failure reported by the database layer, or met while loading it. Beside the layer's code
// it keeps the engine's own error codes (isc_...), first the main one; empty when the failure
// did not come from the engine. Without a text of the layer's, the message is "DBX Error:  "
// and the code's fixed description.
class TDBXError : public Exception {
public:
    explicit TDBXError(int code, QString message = {}, QList<long> engineCodes = {});
    // The client library cannot be loaded, or lacks an entry point it must have.
    static TDBXError unableToLoad(const QString &library, int osError);
    static TDBXError procedureMissing(const QString &name);
    int code() const noexcept { return code_; }
    long engineCode() const noexcept { return engineCodes_.isEmpty() ? 0 : engineCodes_.first(); }
    bool hasEngineCode(long code) const noexcept { return engineCodes_.contains(code); }
    const QList<long> &engineCodes() const noexcept { return engineCodes_; }

private:
    int code_;
    QList<long> engineCodes_;
};

// The fixed description of a database layer error code, as used in "DBX Error:  %s".
QString dbxErrorDescription(int code);
