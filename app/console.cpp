#include "console.h"

#include "filenames.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <cstdio>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal's settings while a password is asked for, for the handler to put back, and the
// signal that came meanwhile.
termios echoing{};
volatile sig_atomic_t promptSignal = 0;
constexpr int endingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onPromptSignal(int signo)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &echoing);
    promptSignal = signo;
}

} // namespace

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

bool canAsk()
{
    return ::isatty(STDIN_FILENO) != 0;
}

std::optional<QString> askPassword(const QString &prompt, int *signal)
{
    const int fd = STDIN_FILENO;
    if (!canAsk() || ::tcgetattr(fd, &echoing) != 0)
        return std::nullopt;
    termios quiet = echoing;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL; // Enter still ends the line on the screen
    // The signals that end the program are the prompt's while it waits, whoever takes them
    // otherwise (a run's watch, the client library): the echo comes back first.
    promptSignal = 0;
    struct sigaction previous[std::size(endingSignals)] = {};
    struct sigaction action = {};
    action.sa_handler = onPromptSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(endingSignals); ++i)
        ::sigaction(endingSignals[i], &action, &previous[i]);
    std::fprintf(stderr, "%s", qPrintable(prompt));
    std::fflush(stderr);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    QByteArray typed;
    bool given = false;
    while (promptSignal == 0) {
        pollfd ready{fd, POLLIN, 0};
        const int n = ::poll(&ready, 1, 200);
        if (n < 0 && errno != EINTR)
            break;
        if (n <= 0)
            continue;
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // end of input
            break;
        if (c == '\n') {
            given = true;
            break;
        }
        typed.append(c);
    }
    ::tcsetattr(fd, TCSAFLUSH, &echoing);
    for (size_t i = 0; i < std::size(endingSignals); ++i)
        ::sigaction(endingSignals[i], &previous[i], nullptr);
    if (!given)
        std::fprintf(stderr, "\n");
    if (const int signo = promptSignal; signo != 0) {
        typed.fill('\0');
        if (signal) {
            *signal = signo;
            return std::nullopt;
        }
        // Nobody else ends the program on it: it ends as the signal would have ended it.
        struct sigaction fallback = {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(signo, &fallback, nullptr);
        ::raise(signo);
        return std::nullopt;
    }
    if (typed.endsWith('\r'))
        typed.chop(1);
    std::optional<QString> password;
    if (given && !typed.isEmpty())
        password = QString::fromLocal8Bit(typed);
    typed.fill('\0');
    return password;
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
