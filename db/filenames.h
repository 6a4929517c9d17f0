#pragma once
// File names as the system has them: bytes. Most are UTF-8; one that is not (a name written on
// a Latin-1 system, say) must still reach the engine and the file calls byte for byte.

#include <QByteArray>
#include <QString>

namespace filenames {

// The bytes as text: UTF-8 decoded, and each byte that is no part of a valid UTF-8 sequence kept
// as the lone surrogate U+DC00 + byte, so that encode() gives the same bytes back.
QString decode(const QByteArray &bytes);
// The bytes of a name decode() made (or any text, as UTF-8).
QByteArray encode(const QString &name);
// Whether a name's bytes are UTF-8 (the engine is then told so).
bool isUtf8(const QString &name);

// The size of the file at an absolute path; -1 when there is none (or the path is relative: no
// file of a server's is looked for where this program happens to run).
qint64 sizeOf(const QString &file);

} // namespace filenames
