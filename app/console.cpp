#include "console.h"

#include "filenames.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace console {

QString oneLine(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("[ \\t]*[\\r\\n]+\\s*"));
    static const QRegularExpression blanks(QStringLiteral("[ \\t]{2,}"));
    QString line;
    qsizetype from = 0;
    for (auto it = lineBreak.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        line += text.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        if (line.isEmpty() || from == text.size())
            continue; // nothing to separate
        line += QStringLiteral(".:;!?").contains(line.back()) ? QStringLiteral(" ") : QStringLiteral("; ");
    }
    line += text.mid(from);
    return line.replace(blanks, QStringLiteral(" "));
}

QString wrapped(const QString &text, int columns)
{
    QStringList lines;
    for (const QString &paragraph : text.split(u'\n')) {
        QString line;
        for (const QString &word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > columns) {
                lines << line;
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        lines << line;
    }
    return lines.join(u'\n');
}

int terminalColumns(int fd)
{
    winsize size = {};
    if (::isatty(fd) == 0 || ::ioctl(fd, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

QString progressLine(int value, int maximum, const QString &status, int columns)
{
    constexpr int fullBar = 30, shortestBar = 10, statusRoom = 40;
    const int room = columns - 1;
    if (room <= 0)
        return {};
    const QString count = QStringLiteral("%1/%2").arg(value).arg(maximum);
    // "[" bar "] " count " " status: the bar shrinks before the status is cut.
    int bar = std::min<int>(fullBar, room - int(count.size()) - 4 - statusRoom);
    QString line;
    if (bar >= shortestBar) {
        const int filled = maximum > 0 ? int(qint64(std::clamp(value, 0, maximum)) * bar / maximum) : 0;
        line = QStringLiteral("[") + QString(filled, u'#') + QString(bar - filled, u'.') + QStringLiteral("] ");
    }
    line += count + QStringLiteral(" ") + status;
    return line.left(room);
}

void result(const QString &file, const QString &text)
{
    std::printf("%s: %s\n", filenames::encode(file).constData(), qPrintable(oneLine(text)));
    std::fflush(stdout);
}

void failure(const QString &file, const QString &text)
{
    std::fprintf(stderr, "conversor: %s: %s\n", filenames::encode(file).constData(), qPrintable(oneLine(text)));
}

void stopped(const QString &file, const QString &failure, const QString &signalName)
{
    QString text = failure;
    const qsizetype end = text.indexOf(u'\r');
    text.insert(end < 0 ? text.size() : end, QStringLiteral(" (%1)").arg(signalName));
    if (file.isEmpty())
        problem(text);
    else
        console::failure(file, text);
}

void problem(const QString &text)
{
    std::fprintf(stderr, "conversor: %s\n", qPrintable(oneLine(text)));
}

} // namespace console
