#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <variant>

// Failures carry a message text; callers use only the message, unless they decide by what the
// engine said (TDBXError::engineErrors).
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString &message() const noexcept { return message_; }
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// The text of any failure: an Exception's message, or what() of another kind.
QString messageOf(const std::exception &e);

// The operating system's text for an errno value, safe on any thread (strerror is not).
QString systemMessage(int error);

// The connection's and the query objects' own checks.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// One error of the engine's status vector: its code (isc_...) and the arguments that filled its
// text, in order: strings (names, files, operations) and numbers (versions, system errors).
struct EngineError {
    using Argument = std::variant<long, QString>;
    long code = 0;
    QList<Argument> arguments;
    int systemError = 0; // the operating system's error number the engine passed on with it
    // The argument at index as a string or a number; empty or 0 when it is not one.
    QString text(qsizetype index) const;
    long number(qsizetype index) const;
};

// A failure reported by the database layer, or met while loading it. Beside the layer's code it
// keeps what the engine said: each of its errors with their arguments, the main one first;
// none when the failure did not come from the engine. Without a text of the layer's, the
// message is "DBX Error:  " and the code's fixed description.
class TDBXError : public Exception {
public:
    explicit TDBXError(int code, QString message = {}, QList<EngineError> engineErrors = {});
    // The client library cannot be loaded, or lacks an entry point it must have.
    static TDBXError unableToLoad(const QString &library, int osError);
    static TDBXError procedureMissing(const QString &name);
    int code() const noexcept { return code_; }
    // The main engine code (0: none).
    long engineCode() const noexcept { return engineErrors_.isEmpty() ? 0 : engineErrors_.first().code; }
    bool hasEngineCode(long code) const noexcept { return engineError(code) != nullptr; }
    // The first error with that code, or null.
    const EngineError *engineError(long code) const noexcept;
    const QList<EngineError> &engineErrors() const noexcept { return engineErrors_; }
    // The operating system's error number the engine passed on (an I/O failure's), or 0.
    int systemError() const noexcept;

private:
    int code_;
    QList<EngineError> engineErrors_;
};

// The fixed description of a database layer error code, as used in "DBX Error:  %s".
QString dbxErrorDescription(int code);
