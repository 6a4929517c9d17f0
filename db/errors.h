#pragma once

#include <QByteArray>
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

// A failure reported by the database layer, or met while loading it.
class TDBXError : public Exception {
public:
    TDBXError(int code, QString message) : Exception(std::move(message)), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

// The fixed description of a database layer error code, as used in "DBX Error:  %s".
QString dbxErrorDescription(int code);
