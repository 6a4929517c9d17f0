// The program's command line, run as a process: its options beside Qt's, with and without a
// display (the window without one); what goes to stdout and to stderr, and the exit status;
// --convert file by file, on a pipe and on terminals of several widths; a signal in the middle
// of a run.
#include "dbread.h"
#include "privateserver.h"
#include "tempdb.h"

#include <QtTest>

#include <csignal>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1; // -1: did not end by itself
    QString out, err;
};

// Where the program is to find a display: none, Qt's offscreen platform, the test's X server, or
// one that no X server answers.
enum class Display { None, Offscreen, X, Unopenable };

// No X server listens there: its socket is local only, and nothing the tests run makes one.
const QString unopenable = QStringLiteral(":59999");

// The window opens and stays until a signal ends it.
constexpr int windowStays = -2;

QString privateRuntimeDir;
QString xDisplay; // ":N" of the test's own X server, if it has one

QProcessEnvironment programEnvironment(Display display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    // Qt says so on stderr when there is none.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), privateRuntimeDir);
    if (display == Display::Offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else if (display == Display::X)
        env.insert(QStringLiteral("DISPLAY"), xDisplay);
    else if (display == Display::Unopenable)
        env.insert(QStringLiteral("DISPLAY"), unopenable);
    return env;
}

bool matches(const QString &pattern, const QString &text)
{
    return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
}

// Whether the process has its handler for signo in place (or has ended), after up to 30 s.
bool handlesSignal(QProcess &p, int signo)
{
    QDeadlineTimer deadline(30000);
    while (p.state() == QProcess::Running && !deadline.hasExpired()) {
        // /proc's files say they are empty: read to the end.
        std::ifstream status(QStringLiteral("/proc/%1/status").arg(p.processId()).toStdString());
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("SigCgt:") && (std::stoull(line.substr(7), nullptr, 16) >> (signo - 1)) & 1)
                return true;
        }
        p.waitForFinished(50);
    }
    return p.state() != QProcess::Running;
}

// Sends signo to the running process; never to process 0 (the whole group) once it has ended.
bool sendSignal(QProcess &p, int signo)
{
    const qint64 pid = p.processId();
    return p.state() == QProcess::Running && pid > 0 && ::kill(pid_t(pid), signo) == 0;
}

// environment: "NAME=VALUE" set besides.
Outcome runProgram(const QStringList &arguments, Display display = Display::None, bool window = false,
                   const QString &directory = {}, const QStringList &environment = {})
{
    QProcess p;
    QProcessEnvironment env = programEnvironment(display);
    for (const QString &setting : environment)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(directory);
    p.start(QStringLiteral(PROGRAM), arguments);
    p.waitForStarted();
    Outcome o;
    if (window) {
        // The window is up once the program takes SIGTERM as the window's Exit.
        if (!handlesSignal(p, SIGTERM) || !sendSignal(p, SIGTERM))
            o.err = QStringLiteral("[the window did not stay] ");
    }
    if (!p.waitForFinished(120000) && p.state() == QProcess::Running) {
        p.kill();
        p.waitForFinished();
    }
    if (p.exitStatus() == QProcess::NormalExit && p.error() != QProcess::FailedToStart)
        o.status = p.exitCode();
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err += QString::fromUtf8(p.readAllStandardError());
    return o;
}

// The program, run in directory, with stdout and stderr on a terminal of the given width (0: one
// that does not say); what the terminal received.
Outcome runOnTerminal(const QStringList &arguments, int columns, const QString &directory = {})
{
    int master = -1, slave = -1;
    winsize size = {};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0)
        return {};
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    QProcess p;
    p.setProcessEnvironment(programEnvironment(Display::None));
    p.setWorkingDirectory(directory);
    p.setChildProcessModifier([slave] {
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
    });
    p.start(QStringLiteral(PROGRAM), arguments);
    ::close(slave);
    QByteArray seen;
    const auto drain = [&] {
        pollfd ready{master, POLLIN, 0};
        char buffer[4096];
        while (::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.append(buffer, n);
        }
    };
    QDeadlineTimer deadline(120000);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        p.waitForFinished(20);
        drain();
    }
    if (p.state() == QProcess::Running) {
        p.kill();
        p.waitForFinished();
    }
    drain();
    ::close(master);
    Outcome o;
    if (p.exitStatus() == QProcess::NormalExit)
        o.status = p.exitCode();
    o.out = QString::fromUtf8(seen);
    return o;
}

// The program with its standard input, output and errors on a terminal of its own (its
// controlling one, so that Ctrl+C there is SIGINT), typing each of answers once a further
// password prompt shows; what the terminal received, and whether it echoes again at the end.
Outcome runAsked(const QStringList &arguments, const QStringList &answers, bool *echoesAtTheEnd)
{
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return {};
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    QProcess p;
    p.setProcessEnvironment(programEnvironment(Display::None));
    p.setChildProcessModifier([slave] {
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            ::dup2(slave, fd);
    });
    p.start(QStringLiteral(PROGRAM), arguments);
    ::close(slave);
    QByteArray seen;
    qsizetype given = 0;
    const QByteArray prompt("no servidor: ");
    QDeadlineTimer deadline(120000);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        p.waitForFinished(20);
        pollfd ready{master, POLLIN, 0};
        char buffer[4096];
        while (::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.append(buffer, n);
        }
        if (given < answers.size() && seen.count(prompt) > given && seen.endsWith(prompt)) {
            QThread::msleep(100); // the echo is off by now
            const QByteArray typed = answers.at(given++).toUtf8();
            [[maybe_unused]] const ssize_t written = ::write(master, typed.constData(), size_t(typed.size()));
        }
    }
    termios settings{};
    *echoesAtTheEnd = ::tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO);
    if (p.state() == QProcess::Running) {
        p.kill();
        p.waitForFinished();
    }
    ::close(master);
    Outcome o;
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(seen);
    return o;
}

// What a terminal of the given width shows after receiving seen, as lines: a line that went past
// the right edge is joined again with its continuation; blanks at the ends of lines and empty
// lines at the end are left out. Anything else than text, CR, LF and "erase to the end of the
// line" goes to unexpected.
QStringList screenLines(const QString &seen, int columns, QString *unexpected)
{
    QStringList rows{QString()};
    QList<bool> continues{false}; // the row goes on from the one above
    int row = 0, column = 0;
    bool atEdge = false; // the last column is written: the next character goes to the next row
    const auto nextRow = [&](bool continuing) {
        if (++row == rows.size()) {
            rows << QString();
            continues << continuing;
        }
        column = 0;
        atEdge = false;
    };
    for (qsizetype i = 0; i < seen.size(); ++i) {
        const QChar c = seen.at(i);
        if (c == u'\r') {
            column = 0;
            atEdge = false;
        } else if (c == u'\n') {
            const int keep = column;
            nextRow(false);
            column = keep;
        } else if (c == u'\033') {
            if (seen.mid(i, 3) != QStringLiteral("\033[K")) {
                *unexpected += seen.mid(i, 8);
                continue;
            }
            rows[row].truncate(column);
            atEdge = false;
            i += 2;
        } else if (c.isPrint()) {
            if (atEdge)
                nextRow(true);
            QString &text = rows[row];
            if (text.size() <= column)
                text += QString(column - text.size() + 1, u' ');
            text[column] = c;
            if (column == columns - 1)
                atEdge = true;
            else
                ++column;
        } else {
            *unexpected += c;
        }
    }
    QStringList lines;
    for (int r = 0; r < rows.size(); ++r) {
        if (continues.at(r) && !lines.isEmpty())
            lines.last() += rows.at(r);
        else
            lines << rows.at(r);
    }
    for (QString &line : lines) {
        while (line.endsWith(u' '))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The progress lines as drawn: what follows each "erase to the end of the line" up to the next
// CR or LF, when it starts with a bar or a count.
QStringList progressFrames(const QString &seen)
{
    static const QRegularExpression frame(QStringLiteral("^(\\[[#.]+\\] )?\\d+/\\d+( |$)"));
    QStringList frames;
    for (const QString &piece : seen.split(QStringLiteral("\033[K"))) {
        const QString line = piece.left(piece.indexOf(QRegularExpression(QStringLiteral("[\\r\\n]"))));
        if (frame.match(line).hasMatch())
            frames << line;
    }
    return frames;
}

// The description of --help: the lines after the usage, up to the first empty one.
QStringList description(const QString &help)
{
    QStringList lines = QString(help).remove(u'\r').split(u'\n');
    lines.removeFirst();
    return lines.mid(0, lines.indexOf(QString()));
}

const QString schema = QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('1234567');
)");

// The file with its code as before any run, and, when marked, the mark of a conversion.
bool prepare(const QString &file, bool marked = false)
{
    // The mark as its bytes: isql talks to the engine without a character set.
    const QByteArray mark = QStringLiteral("Conversor de dados: códigos de produto convertidos em 01/12/2026 09:15:00.").toUtf8();
    return TempDatabases::isql(file, QStringLiteral("UPDATE PRODUTOS SET CODPROD = '1234567';\nCOMMENT ON DATABASE IS %1;\nCOMMIT;\n")
                                         .arg(marked ? "x'" + QString::fromLatin1(mark.toHex()) + u'\'' : QStringLiteral("NULL")))
        .ok;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void arguments_data();
    void arguments();
    void onATerminal_data();
    void onATerminal();
    void theCheckOnATerminal();
    void helpFitsTheTerminal_data();
    void helpFitsTheTerminal();
    void aFileNamedFromAnotherFolder_data();
    void aFileNamedFromAnotherFolder();
    void signalStopsTheRun();
    void aServerThatRefusesTheProgramsLogin_data();
    void aServerThatRefusesTheProgramsLogin();
    void thePasswordAskedOnTheTerminal_data();
    void thePasswordAskedOnTheTerminal();
    void aConnectionInTheWayNamesItsComputer();

private:
    QString serverReady();
    TempDatabases dbs_;
    QTemporaryDir runtime_;
    QProcess xServer_;
    QString good_, noSubstr_;
    std::unique_ptr<PrivateServer> server_;
    QString serverDb_, joaoDb_; // on the server: SYSDBA's, and the one its other user owns
};

void TestCommandLine::initTestCase()
{
    QVERIFY(dbs_.isValid());
    QVERIFY(runtime_.isValid());
    privateRuntimeDir = runtime_.path();
    good_ = dbs_.create(QStringLiteral("boa.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + schema);
    QVERIFY2(!good_.isEmpty(), qPrintable(dbs_.lastError()));
    noSubstr_ = dbs_.create(QStringLiteral("sem-substr.fb"), schema); // every rewrite fails
    QVERIFY2(!noSubstr_.isEmpty(), qPrintable(dbs_.lastError()));
    // Password files: one with a password (and a second line, which is no part of it), one
    // whose first line is empty.
    for (const auto &[name, text] : {std::pair{"senha.txt", "segredo\nnao-e-a-senha\n"}, std::pair{"vazia.txt", "\nsegredo\n"}}) {
        QFile file(dbs_.path(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) > 0);
    }

    // An X server of the test's own, for the cases with a display; it says its number on stdout.
    xServer_.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    QVERIFY2(xServer_.waitForStarted(), "Xvfb is not installed (scripts/setup installs it)");
    QDeadlineTimer deadline(20000);
    while (!xServer_.canReadLine() && !deadline.hasExpired())
        xServer_.waitForReadyRead(100);
    const QByteArray number = xServer_.readLine().trimmed();
    QVERIFY2(!number.isEmpty(), "Xvfb did not start");
    xDisplay = u':' + QString::fromLatin1(number);
}

void TestCommandLine::cleanupTestCase()
{
    server_.reset();
    if (xServer_.state() == QProcess::Running) {
        xServer_.terminate();
        if (!xServer_.waitForFinished(5000))
            xServer_.kill();
        xServer_.waitForFinished();
    }
}

void TestCommandLine::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Display>("display");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // patterns the outputs must match
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("converted"); // the file whose code must be rewritten, if any
    QTest::addColumn<QString>("marked");    // a file that carries the mark of a conversion, if any

    const QString good = dbs_.path(QStringLiteral("boa.fb")), bad = dbs_.path(QStringLiteral("sem-substr.fb"));
    const QString missing = dbs_.path(QStringLiteral("nao-existe.fb"));
    // The list of old and new codes beside the file, named in full (numbered when a list of
    // that second is there): the spreadsheet, then the CSV of one name.
    const QString listed = QStringLiteral("Códigos antigos e novos: ") + QRegularExpression::escape(dbs_.path(QStringLiteral("boa.de-para-")))
                           + "(?<stamp>\\d{8}-\\d{6}(-\\d+)?)\\.xlsx; A mesma lista, para importar: "
                           + QRegularExpression::escape(dbs_.path(QStringLiteral("boa.de-para-"))) + "\\k<stamp>\\.csv";
    const QString goodDone = "^" + QRegularExpression::escape(good) + ": Dados atualizados com sucesso! " + listed + "\\n$";
    // The last status line says where the list (and the copy) went: the database's folder.
    const QString folder = QRegularExpression::escape(QFileInfo(good).absolutePath());
    const QString listedIn = "Concluído! Lista em " + folder + "\\n", bothIn = "Concluído! Cópia e lista em " + folder + "\\n";
    // What earlier rows left beside it, which --check lists, newest first.
    const QString kept = QStringLiteral("(  (cópia de segurança|lista dos códigos) de \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d: [^\\n]+\\n)*");
    const QString version = QStringLiteral("^conversor \\d+\\.\\d+\\.\\d+\\n$");
    const auto unknown = [](const QString &typed) {
        return "^conversor: opção desconhecida '" + QRegularExpression::escape(typed) + "'; veja conversor --help\\n$";
    };
    // Qt's options listed, as the application object takes them.
    const QString qtOptions = QStringLiteral("^Uso: conversor \\[.*--convert.*--platform <.*--reverse");
    const auto none = Display::None, offscreen = Display::Offscreen, x = Display::X;
    // The window without a display says what runs without one.
    const QString noWindow = QStringLiteral("; sem janela, use --convert para converter ou --check para examinar\\n$");

    // The usage line names the command, whatever path it was started by.
    QTest::newRow("--help") << QStringList{"--help"} << none << 0 << "^Uso: conversor \\[opções\\] .*--convert.*ARQUIVO"
                            << "^$" << "" << "";
    // The safety copy of loja.fb is loja.copia-...: the name without .fb.
    QTest::newRow("--help names the safety copy")
        << QStringList{"--help"} << none << 0 << "--no-copy .*\\(NOME\\.copia-AAAAMMDD-HHMMSS\\.fb,\\s+ao\\s+lado\\s+do\\s+arquivo\\)"
        << "^$" << "" << "";
    QTest::newRow("--help names the server's login")
        << QStringList{"--help"} << none << 0
        << "\\n  --user <NOME> +Com --convert, --check, --restore ou --unlock: .*\\n  --password-file <ARQUIVO> +Com --convert, "
           "--check, --restore ou --unlock: "
        << "^$" << "" << "";
    // What --check leaves alone, "registro" said in full.
    QTest::newRow("--help says what --check does not write")
        << QStringList{"--help"} << none << 0
        << "--check .*não\\s+desativa\\s+gatilhos,\\s+não\\s+grava\\s+no\\s+banco\\s+o\\s+registro\\s+de\\s+uma\\s+conversão,"
           "\\s+não\\s+faz\\s+cópia"
        << "^$" << "" << "";
    QTest::newRow("-h") << QStringList{"-h"} << none << 0 << "^Uso: " << "^$" << "" << "";
    QTest::newRow("--help-all, no display") << QStringList{"--help-all"} << none << 0 << qtOptions << "^$" << "" << "";
    QTest::newRow("--help-all, on a display") << QStringList{"--help-all"} << x << 0 << qtOptions << "^$" << "" << "";
    QTest::newRow("--help-all, offscreen") << QStringList{"--help-all"} << offscreen << 0 << qtOptions << "^$" << "" << "";
    QTest::newRow("--help-all with Qt's options")
        << QStringList{"-platform", "xcb", "-style", "fusion", "--help-all"} << none << 0 << qtOptions << "^$" << "" << "";
    QTest::newRow("--version") << QStringList{"--version"} << none << 0 << version << "^$" << "" << "";
    QTest::newRow("-v") << QStringList{"-v"} << none << 0 << version << "^$" << "" << "";
    QTest::newRow("--version after Qt's options")
        << QStringList{"-platform", "offscreen", "-reverse", "-style", "fusion", "--version"} << none << 0 << version
        << "^$" << "" << "";

    // An unknown option as it was typed.
    QTest::newRow("an unknown option") << QStringList{"--xyz"} << none << 2 << "^$" << unknown("--xyz") << "" << "";
    QTest::newRow("an unknown option, one dash") << QStringList{"-xyz"} << none << 2 << "^$" << unknown("-xyz") << "" << "";
    QTest::newRow("an unknown short option") << QStringList{"-x"} << none << 2 << "^$" << unknown("-x") << "" << "";
    QTest::newRow("an unknown option after a file") << QStringList{good, "-x"} << none << 2 << "^$" << unknown("-x") << ""
                                                    << "";
    QTest::newRow("an unknown option with a value")
        << QStringList{"--xyz=1", good} << none << 2 << "^$" << unknown("--xyz") << "" << "";
    QTest::newRow("an unknown option among Qt's")
        << QStringList{"-platform", "offscreen", "--xyz", good} << none << 2 << "^$" << unknown("--xyz") << "" << "";
    QTest::newRow("an unknown option on a display")
        << QStringList{"-reverse", "--xyz"} << x << 2 << "^$" << unknown("--xyz") << "" << "";
    QTest::newRow("an unknown option with --convert")
        << QStringList{"--convert", "--xyz", good} << none << 2 << "^$" << unknown("--xyz") << "" << "";
    QTest::newRow("after --, a file that looks like an option")
        << QStringList{"--check", "--", "-x"} << none << 1 << "^$" << "^conversor: -x: Não foi possível conectar" << ""
        << "";
    QTest::newRow("a value for --convert") << QStringList{"--convert=sim", good} << none << 2 << "^$"
                                           << "^conversor: [^\\n]*'--convert'; veja conversor --help\\n$" << "" << "";
    QTest::newRow("--convert with no file") << QStringList{"--convert"} << none << 2 << "^$"
                                            << "^conversor: nenhum arquivo a converter; veja conversor --help\\n$" << "" << "";
    QTest::newRow("two files for the window")
        << QStringList{good, bad} << none << 2 << "^$"
        << "^conversor: a janela abre apenas um arquivo; para converter vários, use --convert\\n$" << "" << "";

    QTest::newRow("Qt's options for the window, no display")
        << QStringList{"-platform", "offscreen", "-reverse", "-style", "fusion", good} << none << windowStays << "^$"
        << "^$" << "" << "";
    QTest::newRow("Qt's options for the window, on a display")
        << QStringList{"-style", "fusion", "-reverse", "-qwindowtitle", "x", good} << x << windowStays << "^$" << "^$"
        << "" << "";
    QTest::newRow("the display on the command line")
        << QStringList{"-display", xDisplay, good} << none << windowStays << "^$" << "^$" << "" << "";
    // What Qt says as the window starts is held until its application object is there, not lost.
    QTest::newRow("Qt's warnings as the window starts")
        << QStringList{"-platform", "offscreen", "-style", "nada", good} << none << windowStays << "^$"
        << "^QApplication: invalid style override 'nada' passed, ignoring it\\." << "" << "";
    QTest::newRow("the X11 platform's options for the window")
        << QStringList{"-name", "conversor-teste", "-nograb", "-display", xDisplay, good} << none << windowStays << "^$"
        << "^$" << "" << "";
    QTest::newRow("the window, no display")
        << QStringList{good} << none << 2 << "^$"
        << "^conversor: não há tela para a janela \\(DISPLAY e WAYLAND_DISPLAY vazias\\)" + noWindow << "" << "";
    QTest::newRow("the window, a display that cannot be opened")
        << QStringList{good} << Display::Unopenable << 2 << "^$"
        << "^conversor: não foi possível abrir a tela " + unopenable + " para a janela" + noWindow << "" << "";
    QTest::newRow("the window, a display on the command line that cannot be opened")
        << QStringList{"-display", unopenable, good} << x << 2 << "^$"
        << "^conversor: não foi possível abrir a tela " + unopenable + " para a janela" + noWindow << "" << "";
    QTest::newRow("the X11 platform's options need no display but the window's")
        << QStringList{"-display", unopenable, "-name", "x", "--version"} << none << 0 << version << "^$" << "" << "";

    // Results on stdout, failures on stderr after the program's name, one line each.
    QTest::newRow("a file that is not there")
        << QStringList{"--convert", missing} << none << 1 << "^$"
        << "^conversor: " + QRegularExpression::escape(missing)
               + ": Não foi possível conectar ao banco de dados Vestrel; O arquivo não foi encontrado: confira o caminho "
                 "escolhido\\. Motivo: I/O error [^\\n]*; No such file or directory\\nNada foi alterado\\.\\n$"
        << "" << "";
    // --unlock says it as --convert does, in Portuguese first.
    QTest::newRow("--unlock: a file that is not there")
        << QStringList{"--unlock", missing} << none << 1 << "^$"
        << "^conversor: " + QRegularExpression::escape(missing)
               + ": Nada foi liberado\\. O arquivo não foi encontrado: confira o caminho escolhido\\. "
                 "Motivo: I/O error [^\\n]*; No such file or directory\\n$"
        << "" << "";
    QTest::newRow("one file, no copy") << QStringList{"--convert", "--no-copy", good} << none << 0 << goodDone
                                       << "^Lendo os códigos antigos e novos…\\nAtualizando tabela: PRODUTOS\\n" + listedIn + "$" << good << "";
    QTest::newRow("one file, its safety copy")
        << QStringList{"--convert", good} << none << 0
        << "^" + QRegularExpression::escape(good) + ": Dados atualizados com sucesso! Cópia de segurança: "
               + QRegularExpression::escape(dbs_.path(QStringLiteral("boa.copia-"))) + "\\d{8}-\\d{6}(-\\d+)?\\.fb; " + listed + "\\n$"
        << "^(Copiando o banco: \\d+%\\n)+Lendo os códigos antigos e novos…\\nAtualizando tabela: PRODUTOS\\n" + bothIn + "$" << good
        << "";
    const QString refused = ": Este banco parece já ter sido convertido \\(convertido em 01/12/2026 09:15:00\\)\\. "
                            "Converter de novo reescreve todos os códigos outra vez\\. Para converter de novo, use --again\\.\\n$";
    QTest::newRow("a database converted before: refused")
        << QStringList{"--convert", "--no-copy", good} << none << 1 << "^$"
        << "^conversor: " + QRegularExpression::escape(good) + refused << "" << good;
    QTest::newRow("a database converted before, --again")
        << QStringList{"--convert", "--no-copy", "--again", good} << none << 0 << goodDone << "^Lendo os códigos antigos e novos…\\nAtualizando" << good << good;
    QTest::newRow("--check: a run would convert")
        << QStringList{"--check", good} << none << 0
        << "^" + QRegularExpression::escape(good) + ":\\n  PRODUTOS: converte 1 linha\\n  aviso: PRODUTOS: 1 código não tem 8 "
               "caracteres \\(a conversão supõe 8\\)\\n" + kept + "  resultado: a conversão pode ser feita\\.\\n$"
        << "^$" << "" << "";
    QTest::newRow("--check: converted before")
        << QStringList{"--check", good} << none << 1
        << "  aviso: o banco parece já ter sido convertido \\(convertido em 01/12/2026 09:15:00\\)\\n"
        << "^$" << "" << good;
    QTest::newRow("--check: a file that is not there")
        << QStringList{"--check", missing} << none << 1 << "^$"
        << "^conversor: " + QRegularExpression::escape(missing)
               + ": Não foi possível conectar ao banco de dados Vestrel; O arquivo não foi encontrado: confira o caminho "
                 "escolhido\\. Motivo: I/O error [^\\n]*\\n$"
        << "" << "";
    const QString report = QRegularExpression::escape(good) + ":\\n  PRODUTOS: converte 1 linha\\n[^\\n]*\\n" + kept
                           + "  resultado: a conversão pode ser feita\\.\\n";
    QTest::newRow("--check, two files: a blank line between the reports")
        << QStringList{"--check", good, good} << none << 0 << "^" + report + "\\n" + report + "$" << "^$" << "" << "";
    QTest::newRow("--check, the first file not there: no blank line before the first report")
        << QStringList{"--check", missing, good} << none << 1 << "^" + report + "$"
        << "^conversor: " + QRegularExpression::escape(missing) + ": " << "" << "";
    QTest::newRow("--check with no file") << QStringList{"--check"} << none << 2 << "^$"
                                          << "^conversor: nenhum arquivo a examinar; veja conversor --help\\n$" << "" << "";
    QTest::newRow("--no-copy without --convert") << QStringList{"--no-copy", good} << none << 2 << "^$"
                                                 << "^conversor: --no-copy só pode ser usada com --convert; veja conversor --help\\n$"
                                                 << "" << "";
    QTest::newRow("--again with --check") << QStringList{"--check", "--again", good} << none << 2 << "^$"
                                          << "^conversor: --again só pode ser usada com --convert; veja conversor --help\\n$"
                                          << "" << "";
    QTest::newRow("--convert and --check") << QStringList{"--convert", "--check", good} << none << 2 << "^$"
                                           << "^conversor: --convert e --check não podem ser usadas juntas; veja conversor --help\\n$"
                                           << "" << "";
    QTest::newRow("two files, the second fails")
        << QStringList{"--convert", "--no-copy", good, bad} << none << 1 << goodDone
        << "^Lendo os códigos antigos e novos…\\nAtualizando tabela: PRODUTOS\\n" + listedIn + "conversor: "
               + QRegularExpression::escape(bad)
               + ": Chame o técnico responsável pelo sistema\\. O banco não tem a função SUBSTR com que a conversão calcula os "
                 "códigos novos\\. Para o técnico: declare-a [^\\n]*\\nNada foi alterado\\.\\n$"
        << good << "";
    // A server's login: --user and --password-file go with each mode that opens databases, and
    // with none other; the password never on the line itself. The embedded engine takes the
    // program's own login, so the run goes on as without them.
    const QString password = dbs_.path(QStringLiteral("senha.txt")), noPassword = dbs_.path(QStringLiteral("vazia.txt"));
    const QString modes = QStringLiteral(" só pode ser usada com --convert, --check, --restore ou --unlock; veja conversor --help\\n$");
    QTest::newRow("--user and --password-file with --convert")
        << QStringList{"--convert", "--no-copy", "--user", "SYSDBA", "--password-file", password, good} << none << 0 << goodDone
        << "^Lendo os códigos antigos e novos…\nAtualizando" << good << "";
    QTest::newRow("--password-file with --check, --user=")
        << QStringList{"--check", "--user=sysdba", "--password-file=" + password, good} << none << 0
        << "^" + report + "$" << "^$" << "" << "";
    QTest::newRow("--user with --unlock")
        << QStringList{"--unlock", "--user", "SYSDBA", good} << none << 0
        << "^" + QRegularExpression::escape(good) + ": nada a liberar\\.\\n$" << "^$" << "" << "";
    QTest::newRow("--user for the window") << QStringList{"--user", "SYSDBA", good} << none << 2 << "^$"
                                           << "^conversor: --user" + modes << "" << "";
    QTest::newRow("--password-file alone") << QStringList{"--password-file", password} << none << 2 << "^$"
                                           << "^conversor: --password-file" + modes << "" << "";
    QTest::newRow("--user longer than a Firebird name")
        << QStringList{"--check", "--user", QString(32, u'A'), good} << none << 2 << "^$"
        << "^conversor: --user: o nome do usuário tem mais de 31 caracteres; veja conversor --help\\n$" << "" << "";
    QTest::newRow("--user with no name") << QStringList{"--convert", "--user=", good} << none << 2 << "^$"
                                         << "^conversor: --user pede NOME; veja conversor --help\\n$" << "" << "";
    QTest::newRow("--user at the end, no value") << QStringList{"--convert", good, "--user"} << none << 2 << "^$"
                                                 << "^conversor: [^\\n]*'--user'; veja conversor --help\\n$" << "" << "";
    QTest::newRow("a password file that is not there")
        << QStringList{"--convert", "--password-file", missing, good} << none << 2 << "^$"
        << "^conversor: não foi possível ler a senha em '" + QRegularExpression::escape(missing) + "': [^\\n]+\\n$" << "" << "";
    QTest::newRow("a password file whose first line is empty")
        << QStringList{"--check", "--password-file", noPassword, good} << none << 2 << "^$"
        << "^conversor: o arquivo de senha '" + QRegularExpression::escape(noPassword) + "' não tem senha na primeira linha\\n$"
        << "" << "";
    QTest::newRow("a password on the command line: no such option")
        << QStringList{"--convert", "--password", "segredo", good} << none << 2 << "^$" << unknown("--password") << "" << "";
    QTest::newRow("Qt's options with --convert")
        << QStringList{"-style", "fusion", "--convert", "--no-copy", good} << none << 0 << goodDone << "^Lendo os códigos antigos e novos…\nAtualizando"
        << good << "";
}

void TestCommandLine::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(Display, display);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, converted);
    QFETCH(QString, marked);
    // Every row starts from the same codes.
    QVERIFY(prepare(good_, marked == good_));
    const Outcome o = runProgram(arguments, display, status == windowStays);
    QVERIFY2(matches(out, o.out), qPrintable(QStringLiteral("stdout: [%1]").arg(o.out)));
    QVERIFY2(matches(err, o.err), qPrintable(QStringLiteral("stderr: [%1]").arg(o.err)));
    // The window ends on SIGTERM as on its Exit command.
    QCOMPARE(o.status, status == windowStays ? 0 : status);
    QCOMPARE(readColumn(good_, QStringLiteral("select CODPROD from PRODUTOS")),
             QStringList{converted == good_ ? QStringLiteral("203456") : QStringLiteral("1234567")});
    if (arguments.contains(QStringLiteral("--convert"))) {
        QVERIFY2(!o.out.contains(QStringLiteral("  ")) && !o.out.contains(u'\r'), qPrintable(o.out));
        QVERIFY2(!o.err.contains(QStringLiteral("  ")) && !o.err.contains(u'\r'), qPrintable(o.err));
    }
}

void TestCommandLine::onATerminal_data()
{
    QTest::addColumn<QStringList>("arguments"); // run in the databases' folder
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("screen"); // patterns of the lines left on the screen
    QTest::addColumn<QStringList>("frames"); // patterns each matched by one of the progress lines
    QTest::addColumn<bool>("named");         // each progress line starts with its file's name

    const QString goodDone = QStringLiteral("^boa\\.fb: Dados atualizados com sucesso! Cópia de segurança: .*\\.fb; Códigos antigos "
                                            "e novos: .*\\.xlsx; A mesma lista, para importar: .*\\.csv$");
    const QString badFailed = QStringLiteral("^conversor: sem-substr\\.fb: Chame o técnico responsável pelo sistema\\. O banco não "
                                             "tem a função SUBSTR .*$");
    const QString status = QStringLiteral(" 1/1 Atualizando tabela: PRODUTOS$");
    const QStringList one{"--convert", "boa.fb"}, two{"--convert", "boa.fb", "sem-substr.fb"};

    QTest::newRow("80 columns") << one << 80 << 0 << QStringList{goodDone} << QStringList{"^\\[#{30}\\]" + status} << false;
    QTest::newRow("60 columns: a shorter bar")
        << one << 60 << 0 << QStringList{goodDone} << QStringList{"^\\[#{12}\\]" + status} << false;
    QTest::newRow("a terminal that does not say its width")
        << one << 0 << 0 << QStringList{goodDone} << QStringList{"^\\[#{30}\\]" + status} << false;
    QTest::newRow("two files, 80 columns: each line names its file")
        << two << 80 << 1 << QStringList{goodDone, badFailed}
        << QStringList{"^\\[\\.{30}\\] 0/100 boa\\.fb: Copiando o banco: \\d+%$",
                       "^\\[#{30}\\] 1/1 boa\\.fb: Atualizando tabela: PRODUTOS$"}
        << true;
    QTest::newRow("two files, 24 columns: no bar, the status cut")
        << two << 24 << 1 << QStringList{goodDone, badFailed}
        << QStringList{"^1/1 boa\\.fb: Atualizando$", "^0/100 boa\\.fb: Copiando ?$"} << true;
    QTest::newRow("8 columns") << one << 8 << 0 << QStringList{goodDone} << QStringList{"^1/1 Atu$"} << false;
}

void TestCommandLine::onATerminal()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, columns);
    QFETCH(int, status);
    QFETCH(QStringList, screen);
    QFETCH(QStringList, frames);
    QFETCH(bool, named);
    QVERIFY(prepare(good_));
    const Outcome o = runOnTerminal(arguments, columns, QFileInfo(good_).absolutePath());
    QCOMPARE(o.status, status);
    const int width = columns > 0 ? columns : 80;
    // Every progress line fits the terminal and tells of the copy or a table being rewritten
    // (none is drawn for the reset after a file's end), after its file's name when there are
    // several, whole or cut.
    const QStringList drawn = progressFrames(o.out);
    static const QRegularExpression copying(QStringLiteral("^Copiando o banco: \\d+%?$")); // whole or cut
    for (const QString &line : drawn) {
        QVERIFY2(line.size() < width, qPrintable(line));
        QString status = line.section(QRegularExpression(QStringLiteral("\\d+/\\d+ ?")), 1);
        if (named) {
            const QStringList files = arguments.mid(1);
            const auto name = std::find_if(files.begin(), files.end(), [&](const QString &file) {
                return status.startsWith(file + QStringLiteral(": ")) || (file + QStringLiteral(": ")).startsWith(status);
            });
            QVERIFY2(name != files.end(), qPrintable(line));
            status = status.mid(name->size() + 2);
        }
        QVERIFY2(QStringLiteral("Atualizando tabela: PRODUTOS").startsWith(status)
                     || QStringLiteral("Lendo os códigos antigos e novos…").startsWith(status)
                     || QStringLiteral("Copiando o banco: ").startsWith(status) || copying.match(status).hasMatch(),
                 qPrintable(line));
    }
    for (const QString &frame : frames)
        QVERIFY2(!drawn.filter(QRegularExpression(frame)).isEmpty(), qPrintable(frame + u'\n' + drawn.join(u'\n')));
    // Once it is over, the screen holds each file's line and nothing else: no progress line left
    // behind, whole or in part.
    QString unexpected;
    const QStringList lines = screenLines(o.out, width, &unexpected);
    QCOMPARE(unexpected, QString());
    QVERIFY2(lines.size() == screen.size(), qPrintable(lines.join(u'\n')));
    for (int i = 0; i < screen.size(); ++i)
        QVERIFY2(matches(screen.at(i), lines.at(i)), qPrintable(lines.at(i)));
}

void TestCommandLine::theCheckOnATerminal()
{
    // The check names its file at once and says what it is at, a line that is gone when it ends:
    // the screen then holds the report alone.
    QVERIFY(prepare(good_));
    const Outcome o = runOnTerminal({QStringLiteral("--check"), QStringLiteral("--de-para"), QStringLiteral("boa.fb")}, 80,
                                    QFileInfo(good_).absolutePath());
    QCOMPARE(o.status, 0);
    const QStringList drawn = progressFrames(o.out);
    QVERIFY2(!drawn.filter(QRegularExpression(QStringLiteral("^\\[\\.{30}\\] 0/0 boa\\.fb: Examinando o banco…$"))).isEmpty(),
             qPrintable(drawn.join(u'\n')));
    QVERIFY2(!drawn.filter(QRegularExpression(QStringLiteral("^\\[\\.{30}\\] 0/1 boa\\.fb: Examinando PRODUTOS$"))).isEmpty(),
             qPrintable(drawn.join(u'\n')));
    QVERIFY2(!drawn.filter(QRegularExpression(QStringLiteral("^\\[#{30}\\] 1/1 boa\\.fb: Lendo os códigos antigos e novos…$"))).isEmpty(),
             qPrintable(drawn.join(u'\n')));
    QString unexpected;
    const QStringList lines = screenLines(o.out, 80, &unexpected);
    QCOMPARE(unexpected, QString());
    QVERIFY2(lines.value(0) == QStringLiteral("boa.fb:"), qPrintable(lines.join(u'\n')));
    QVERIFY2(lines.last().endsWith(QStringLiteral("resultado: a conversão pode ser feita.")), qPrintable(lines.join(u'\n')));
}

void TestCommandLine::helpFitsTheTerminal_data()
{
    QTest::addColumn<int>("columns"); // -1: not a terminal
    QTest::addColumn<int>("width");   // the description's
    QTest::newRow("a pipe") << -1 << 80;
    QTest::newRow("50 columns") << 50 << 50;
    QTest::newRow("a terminal that does not say its width") << 0 << 80;
    QTest::newRow("200 columns: as wide as Qt's list of options") << 200 << 80;
}

void TestCommandLine::helpFitsTheTerminal()
{
    QFETCH(int, columns);
    QFETCH(int, width);
    const Outcome o = columns < 0 ? runProgram({QStringLiteral("--help")}) : runOnTerminal({QStringLiteral("--help")}, columns);
    QCOMPARE(o.status, 0);
    const QStringList lines = description(o.out);
    QVERIFY(lines.size() > 1);
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).size() <= width, qPrintable(lines.at(i)));
        // Each line as full as it can be: the next one's first word would not have fitted.
        const QString next = lines.value(i + 1).section(u' ', 0, 0);
        if (i + 1 < lines.size() && !lines.at(i).endsWith(u'.'))
            QVERIFY2(lines.at(i).size() + 1 + next.size() > width, qPrintable(lines.at(i)));
    }
    // Nothing lost: the same words as the description on a pipe.
    static const QString words = description(runProgram({QStringLiteral("--help")}).out).join(u' ');
    QCOMPARE(lines.join(u' '), words);
}

void TestCommandLine::aFileNamedFromAnotherFolder_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("directory"); // where the program runs, from the databases' folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<bool>("converted");

    const QFileInfo good(dbs_.path(QStringLiteral("boa.fb")));
    const QString folder = good.dir().dirName();
    // The copy beside the file, named in full (numbered when a copy of that second is there).
    const QString copy = QStringLiteral(": Dados atualizados com sucesso! Cópia de segurança: ")
                         + QRegularExpression::escape(good.absolutePath()) + QStringLiteral("/boa\\.copia-\\d{8}-\\d{6}(-\\d+)?\\.fb; ")
                         + QStringLiteral("Códigos antigos e novos: ") + QRegularExpression::escape(good.absolutePath())
                         + QStringLiteral("/boa\\.de-para-\\d{8}-\\d{6}(-\\d+)?\\.xlsx; A mesma lista, para importar: ")
                         + QRegularExpression::escape(good.absolutePath()) + QStringLiteral("/boa\\.de-para-\\d{8}-\\d{6}(-\\d+)?\\.csv\\n$");
    QTest::newRow("--convert, the file's name in its folder")
        << QStringList{"--convert", "boa.fb"} << "." << 0 << "^boa\\.fb" + copy << true;
    QTest::newRow("--convert, a path from the folder above")
        << QStringList{"--convert", folder + "/boa.fb"} << ".." << 0 << "^" + QRegularExpression::escape(folder) + "/boa\\.fb" + copy
        << true;
    QTest::newRow("--check, the file's name in its folder")
        << QStringList{"--check", "boa.fb"} << "." << 0 << "^boa\\.fb:\\n  PRODUTOS: converte 1 linha\\n" << false;
}

// A file named as a user in a terminal names it: relative to where the program runs.
void TestCommandLine::aFileNamedFromAnotherFolder()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, directory);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(bool, converted);
    QVERIFY(prepare(good_));
    QDir folder = QFileInfo(good_).dir();
    const QStringList named{QStringLiteral("boa.copia-*.fb")};
    const QStringList before = folder.entryList(named);
    const Outcome o = runProgram(arguments, Display::None, false, folder.absoluteFilePath(directory));
    QVERIFY2(matches(out, o.out), qPrintable(QStringLiteral("stdout: [%1] stderr: [%2]").arg(o.out, o.err)));
    QCOMPARE(o.status, status);
    QCOMPARE(readColumn(good_, QStringLiteral("select CODPROD from PRODUTOS")),
             QStringList{converted ? QStringLiteral("203456") : QStringLiteral("1234567")});
    // The run's copy is there, and holds the codes as they were.
    QStringList copies = folder.entryList(named);
    for (const QString &earlier : before)
        copies.removeOne(earlier);
    QCOMPARE(copies.size(), converted ? 1 : 0);
    for (const QString &copy : std::as_const(copies)) {
        QCOMPARE(readColumn(folder.absoluteFilePath(copy), QStringLiteral("select CODPROD from PRODUTOS")),
                 QStringList{QStringLiteral("1234567")});
        QVERIFY(folder.remove(copy));
    }
}

void TestCommandLine::signalStopsTheRun()
{
    const QString file = dbs_.create(QStringLiteral("grande.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + R"(
CREATE TABLE GRANDE (ID INTEGER, CODPROD VARCHAR(10));
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 600000) DO BEGIN INSERT INTO GRANDE VALUES (:I, '1234567'); I = I + 1; END END^
SET TERM ; ^
)");
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    QProcess p;
    p.setProcessEnvironment(programEnvironment(Display::None));
    p.start(QStringLiteral(PROGRAM), {QStringLiteral("--convert"), file, good_});
    p.setReadChannel(QProcess::StandardError);
    QVERIFY(p.waitForReadyRead(20000)); // its first status line: the run is under way
    QTest::qWait(300);
    QVERIFY2(sendSignal(p, SIGTERM), "the run ended before the signal");
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 128 + SIGTERM);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(err.count(QStringLiteral("conversor: ")), 1);
    QVERIFY2(matches(QStringLiteral("\\nconversor: %1: Conversão interrompida pelo usuário; nada foi alterado \\(SIGTERM\\)\\n$")
                         .arg(QRegularExpression::escape(file)),
                     err),
             qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("  ")), qPrintable(err));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString()); // no final message: no box
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from GRANDE where CODPROD = '1234567'")), QStringList{"600000"});
}

// A server of the test's own whose administrator's password is not the program's, and a second
// user with a database of its own; its security database is a copy in the server's folder. What
// went wrong in making it, if anything.
QString TestCommandLine::serverReady()
{
    if (server_)
        return server_->problem();
    server_ = std::make_unique<PrivateServer>();
    if (!server_->isRunning())
        return server_->problem();
    const QString sysdbaFile = dbs_.create(QStringLiteral("servidor.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + schema);
    if (sysdbaFile.isEmpty())
        return dbs_.lastError();
    serverDb_ = server_->database(sysdbaFile);
    joaoDb_ = server_->database(dbs_.path(QStringLiteral("joao.fb")));
    const TempDatabases::Isql made = TempDatabases::isql(
        {}, QStringLiteral("CONNECT '%1' USER 'SYSDBA' PASSWORD 'quokkafen';\n"
                           "ALTER USER SYSDBA PASSWORD 'outra';\nCREATE USER JOAO PASSWORD 'dele';\n"
                           "GRANT CREATE DATABASE TO USER JOAO;\nCOMMIT;\n"
                           "SET SQL DIALECT 1;\nCREATE DATABASE '%2' USER 'JOAO' PASSWORD 'dele';\n%3\n%4\nCOMMIT;\n")
                .arg(serverDb_, joaoDb_, TempDatabases::fixture(QStringLiteral("substr.sql")), schema));
    if (!made.ok)
        return made.output;
    for (const auto &[name, text] : {std::pair{"senha-servidor.txt", "outra\n"}, std::pair{"senha-joao.txt", "dele"}}) {
        QFile file(dbs_.path(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) <= 0)
            return file.errorString();
    }
    return {};
}

void TestCommandLine::aServerThatRefusesTheProgramsLogin_data()
{
    QTest::addColumn<QStringList>("arguments"); // "DB": SYSDBA's database on the server, "JOAO_DB": JOAO's
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("converted"); // "DB", "JOAO" or none

    const QString right = dbs_.path(QStringLiteral("senha-servidor.txt")), wrong = dbs_.path(QStringLiteral("senha.txt"));
    const QString joao = dbs_.path(QStringLiteral("senha-joao.txt"));
    const QString refused = QStringLiteral("^conversor: [^\\n]*: Chame o técnico responsável pelo sistema\\. Não foi possível "
                                           "conectar ao banco de dados Vestrel; O Firebird "
                                           "recusou o usuário e a senha [^\\n]*Motivo: Your user name and password are not "
                                           "defined[^\\n]*\\n$");
    const QString done = QStringLiteral("^[^\\n]*: Dados atualizados com sucesso! [^\\n]*\\n$");
    const QString checked = QStringLiteral("\\n  resultado: a conversão pode ser feita\\.\\n$");
    QTest::newRow("the program's login refused, nothing else to try")
        << QStringList{"--check", "DB"} << QStringList{} << 1 << "^$" << refused << "";
    QTest::newRow("--password-file") << QStringList{"--convert", "--no-copy", "--password-file", right, "DB"} << QStringList{} << 0
                                     << done << "^Lendo os códigos antigos e novos…\nAtualizando" << "DB";
    QTest::newRow("ISC_USER and ISC_PASSWORD")
        << QStringList{"--check", "DB"} << QStringList{"ISC_USER=SYSDBA", "ISC_PASSWORD=outra"} << 0 << checked << "^$" << "";
    QTest::newRow("a wrong password in the file, none in ISC_PASSWORD")
        << QStringList{"--check", "--user", "SYSDBA", "--password-file", wrong, "DB"} << QStringList{"ISC_PASSWORD=errada"} << 1
        << "^$" << refused << "";
    QTest::newRow("another user with --user, its password from the file")
        << QStringList{"--convert", "--no-copy", "--user", "JOAO", "--password-file", joao, "JOAO_DB"} << QStringList{} << 0 << done
        << "^Lendo os códigos antigos e novos…\nAtualizando" << "JOAO";
    QTest::newRow("--unlock with --password-file")
        << QStringList{"--unlock", "--password-file", right, "DB"} << QStringList{} << 0 << ": nada a liberar\\.\\n$" << "^$"
        << "";
}

void TestCommandLine::aServerThatRefusesTheProgramsLogin()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, converted);
    const QString problem = serverReady();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString files[] = {dbs_.path(QStringLiteral("servidor.fb")), dbs_.path(QStringLiteral("joao.fb"))};
    for (const QString &file : files)
        QVERIFY(prepare(file));
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DB$")), serverDb_);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^JOAO_DB$")), joaoDb_);
    const Outcome o = runProgram(arguments, Display::None, false, {}, environment);
    const QString both = QStringLiteral("stdout: [%1]; stderr: [%2]").arg(o.out, o.err);
    QVERIFY2(matches(out, o.out), qPrintable(both));
    QVERIFY2(matches(err, o.err), qPrintable(both));
    QCOMPARE(o.status, status);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(readColumn(files[i], QStringLiteral("select CODPROD from PRODUTOS")),
                 QStringList{converted == QLatin1String(i == 0 ? "DB" : "JOAO") ? QStringLiteral("203456") : QStringLiteral("1234567")});
}

void TestCommandLine::thePasswordAskedOnTheTerminal_data()
{
    QTest::addColumn<QStringList>("arguments"); // "DB": the server's database
    QTest::addColumn<QStringList>("typed");      // at each prompt, in turn
    QTest::addColumn<int>("status");             // -1: ended by a signal
    QTest::addColumn<QStringList>("screen");     // patterns of the lines the terminal shows, in order
    QTest::addColumn<bool>("converted");

    const QString prompt = QStringLiteral("^Senha de sysdba no servidor:$"); // the screen keeps no blank at the end
    const QString refused = QStringLiteral("^conversor: [^\\n]*: Chame o técnico responsável pelo sistema\\. Não foi possível "
                                           "conectar ao banco de dados Vestrel; O Firebird recusou ");
    QTest::newRow("the right one") << QStringList{"--convert", "--no-copy", "DB"} << QStringList{"outra\n"} << 0
                                   << QStringList{prompt, ": Dados atualizados com sucesso! "}
                                   << true;
    QTest::newRow("a wrong one, asked again")
        << QStringList{"--check", "DB"} << QStringList{"errada\n", "outra\n"} << 0
        << QStringList{prompt, "^conversor: o servidor recusou a senha de sysdba$", prompt, ":$"} << false;
    QTest::newRow("three wrong ones: the refusal")
        << QStringList{"--check", "DB"} << QStringList{"errada-1\n", "errada-2\n", "errada-3\n"} << 1
        << QStringList{prompt, "recusou a senha", prompt, "recusou a senha", prompt, refused} << false;
    QTest::newRow("Enter alone gives up") << QStringList{"--check", "DB"} << QStringList{"\n"} << 1
                                          << QStringList{prompt, refused} << false;
    QTest::newRow("Ctrl+C during a run's prompt: the run stopped")
        << QStringList{"--convert", "DB"} << QStringList{"\x03"} << 130
        << QStringList{prompt, ": Conversão interrompida pelo usuário; nada foi alterado \\(SIGINT\\)"} << false;
    QTest::newRow("Ctrl+C during --check's prompt: ended by it")
        << QStringList{"--check", "DB"} << QStringList{"\x03"} << -1 << QStringList{prompt} << false;
}

void TestCommandLine::thePasswordAskedOnTheTerminal()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, typed);
    QFETCH(int, status);
    QFETCH(QStringList, screen);
    QFETCH(bool, converted);
    const QString problem = serverReady();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString file = dbs_.path(QStringLiteral("servidor.fb"));
    QVERIFY(prepare(file));
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^DB$")), serverDb_);
    bool echoes = false;
    const Outcome o = runAsked(arguments, typed, &echoes);
    QCOMPARE(o.status, status);
    QVERIFY2(echoes, "the terminal echoes again");
    // Nothing typed shows: the echo was off while it was typed.
    QString unexpected;
    const QStringList lines = screenLines(o.out, 80, &unexpected);
    QCOMPARE(unexpected, QString());
    for (const QString &answer : std::as_const(typed))
        if (answer.trimmed().size() > 1)
            QVERIFY2(!o.out.contains(answer.trimmed()), qPrintable(o.out));
    QVERIFY2(lines.size() >= screen.size(), qPrintable(lines.join(u'\n')));
    for (qsizetype i = 0; i < screen.size(); ++i)
        QVERIFY2(matches(screen.at(i), lines.at(i)), qPrintable(lines.join(u'\n')));
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from PRODUTOS")),
             QStringList{converted ? QStringLiteral("203456") : QStringLiteral("1234567")});
}

void TestCommandLine::aConnectionInTheWayNamesItsComputer()
{
    // Another program on the database through the server: the refusal names it as the engine
    // reports it, the user it logged in as, the computer by its name, the program.
    const QString problem = serverReady();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(prepare(dbs_.path(QStringLiteral("servidor.fb"))));
    QProcess holder;
    holder.start(QStringLiteral("isql-fb"), {"-q", "-user", "SYSDBA", "-password", "outra", serverDb_});
    holder.write("select 'conectado' from rdb$database;\n");
    QVERIFY(holder.waitForReadyRead(20000));
    auto stop = qScopeGuard([&] {
        holder.closeWriteChannel();
        holder.waitForFinished(5000);
    });
    const Outcome o = runProgram({"--check", "--password-file", dbs_.path(QStringLiteral("senha-servidor.txt")), serverDb_});
    QCOMPARE(o.status, 1);
    QVERIFY2(QRegularExpression(QStringLiteral("\\n  impede a conversão: O banco está em uso por 1 outra conexão \\(SYSDBA@")
                                + QRegularExpression::escape(QSysInfo::machineHostName())
                                + QStringLiteral(", [^)]*isql-fb\\): feche-a e converta de novo\\.\\n"))
                 .match(o.out)
                 .hasMatch(),
             qPrintable(o.out + o.err));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
