#include "errors.h"

#include "dbxlayer.h"

#include <algorithm>
#include <cstring>

Exception::Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

QString messageOf(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->message();
    return QString::fromUtf8(e.what());
}

QString EngineError::text(qsizetype index) const
{
    const Argument a = arguments.value(index);
    return std::holds_alternative<QString>(a) ? std::get<QString>(a) : QString();
}

long EngineError::number(qsizetype index) const
{
    const Argument a = arguments.value(index, Argument(0L));
    return std::holds_alternative<long>(a) ? std::get<long>(a) : 0;
}

TDBXError::TDBXError(int code, QString message, QList<EngineError> engineErrors)
    : Exception(message.isEmpty() ? QStringLiteral("DBX Error:  %1").arg(dbxErrorDescription(code)) : std::move(message)),
      code_(code), engineErrors_(std::move(engineErrors))
{
}

TDBXError TDBXError::unableToLoad(const QString &library, int osError)
{
    return TDBXError(dbx::DriverInit, QStringLiteral("Unable to load %1 (ErrorCode %2).  It may be missing from the system path.")
                                          .arg(library)
                                          .arg(osError));
}

TDBXError TDBXError::procedureMissing(const QString &name)
{
    return TDBXError(dbx::DriverInit, QStringLiteral("Unable to find procedure %1").arg(name));
}

const EngineError *TDBXError::engineError(long code) const noexcept
{
    const auto it = std::find_if(engineErrors_.cbegin(), engineErrors_.cend(), [code](const EngineError &e) { return e.code == code; });
    return it == engineErrors_.cend() ? nullptr : &*it;
}

int TDBXError::systemError() const noexcept
{
    for (const EngineError &e : engineErrors_)
        if (e.systemError != 0)
            return e.systemError;
    return 0;
}
QString dbxErrorDescription(int code)
{
    switch (code) {
    case 0: return QStringLiteral("None");
    case 1: return QStringLiteral("Warning");
    case 2: return QStringLiteral("Insufficient memory to complete the operation");
    case 3: return QStringLiteral("Unsupported field type");
    case 4: return QStringLiteral("Unexpected internal error. DBX Object such as a connection, command, or reader may already be closed.");
    case 5: return QStringLiteral("Not supported");
    case 6: return QStringLiteral("Invalid time");
    case 7: return QStringLiteral("Invalid type");
    case 8: return QStringLiteral("Invalid ordinal");
    case 9: return QStringLiteral("Invalid parameter");
    case 10: return QStringLiteral("No more rows");
    case 11: return QStringLiteral("Parameter not set");
    case 12: return QStringLiteral("Invalid username or password");
    case 13: return QStringLiteral("Invalid precision");
    case 14: return QStringLiteral("Invalid length");
    case 15: return QStringLiteral("Invalid isolation level");
    case 16: return QStringLiteral("Invalid transaction id");
    case 17: return QStringLiteral("Duplicate transaction id");
    case 18: return QStringLiteral("Driver restricted");
    case 19: return QStringLiteral("Transaction active");
    case 20: return QStringLiteral("Multiple transaction not enabled");
    case 21: return QStringLiteral("Connection failed");
    case 22: return QStringLiteral("Driver could not be properly initialized.  Client library may be missing, not installed properly, of the wrong version, or the driver may be missing from the system path.");
    case 23: return QStringLiteral("Optimistic lock failed");
    case 24: return QStringLiteral("Invalid reference");
    case 25: return QStringLiteral("No table");
    case 26: return QStringLiteral("Missing parameter marker");
    case 27: return QStringLiteral("Not implemented");
    case 28: return QStringLiteral("Driver incompatible");
    case 29: return QStringLiteral("Invalid argument");
    case 31: return QStringLiteral("Unrecognized command type.");
    case 33: return QStringLiteral("Schema or user name separated by a '.' must be specified.");
    case 34: return QStringLiteral("Database must be specified.");
    case 35: return QStringLiteral("LibraryName must be specified.");
    case 36: return QStringLiteral("GetDriverFunc must be specified.");
    case 37: return QStringLiteral("VendorLib must be specified");
    case 100: return QStringLiteral("No data");
    case 101: return QStringLiteral("Vendor error");
    default: return QStringLiteral("Error Code:  %1").arg(code);
    }
}

QString systemMessage(int error)
{
    char buffer[256];
    // The GNU strerror_r: the text may be a static one rather than the buffer.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}
