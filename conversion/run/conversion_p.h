#pragma once
// What the files of one run (conversion.cpp and the steps beside it) share, and nobody else.

#include "errors.h"

#include <QString>

#include <optional>
#include <utility>

namespace conversionrun {

// A run stopped before anything changed: why, and the table it is about, if any.
class Stopped final : public Exception {
public:
    Stopped(QString table, QString reason) : Exception(std::move(reason)), table(std::move(table)) {}
    QString table;
};

// A stop the user asked for (Exit, the window closed, a signal): said as such, whatever the
// run was doing then.
inline const QString interruptedText = QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado");

// A local file's device and inode, to tell the file a run attached from one put in its place;
// none for a path that is not one (a server's).
std::optional<std::pair<quint64, quint64>> fileIdentity(const QString &file);

} // namespace conversionrun
