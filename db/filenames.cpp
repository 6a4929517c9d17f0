#include "filenames.h"

#include <sys/stat.h>

namespace filenames {

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isEscape(QChar c)
{
    return c.unicode() >= escapeBase + 0x80 && c.unicode() <= escapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at i, or 0.
qsizetype sequenceAt(const QByteArray &b, qsizetype i)
{
    const auto u = [&](qsizetype k) { return uchar(b[k]); };
    const uchar lead = u(i);
    if (lead < 0x80)
        return 1;
    qsizetype n = 0;
    char32_t cp = 0, least = 0;
    if ((lead & 0xE0) == 0xC0)
        n = 2, cp = lead & 0x1F, least = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        n = 3, cp = lead & 0x0F, least = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        n = 4, cp = lead & 0x07, least = 0x10000;
    else
        return 0;
    if (i + n > b.size())
        return 0;
    for (qsizetype k = 1; k < n; ++k) {
        if ((u(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (u(i + k) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past the last code point.
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return n;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString name;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype n = sequenceAt(bytes, i);
        if (n == 0) {
            name += QChar(char16_t(escapeBase + uchar(bytes[i])));
            ++i;
        } else {
            name += QString::fromUtf8(bytes.constData() + i, n);
            i += n;
        }
    }
    return name;
}

QByteArray encode(const QString &name)
{
    QByteArray bytes;
    qsizetype run = 0; // where the text not yet encoded begins
    for (qsizetype i = 0; i < name.size(); ++i) {
        // A lone low surrogate in the escape range (not the second half of a pair) is a byte.
        if (isEscape(name[i]) && (i == 0 || !name[i - 1].isHighSurrogate())) {
            bytes += QStringView(name).mid(run, i - run).toUtf8();
            bytes += char(name[i].unicode() - escapeBase);
            run = i + 1;
        }
    }
    bytes += QStringView(name).mid(run).toUtf8();
    return bytes;
}

bool isUtf8(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isEscape(name[i]) && (i == 0 || !name[i - 1].isHighSurrogate()))
            return false;
    return true;
}

qint64 sizeOf(const QString &file)
{
    struct stat st {};
    return file.startsWith(u'/') && ::stat(encode(file).constData(), &st) == 0 ? qint64(st.st_size) : -1;
}

} // namespace filenames
