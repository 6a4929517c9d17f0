// Start-up: Qt's own options (-platform, -style, -reverse...) are taken by an application object
// first; the program reads what that leaves once, and goes one of five ways: the window, a
// conversion or a check without one, the help, the version.
#include "application.h"
#include "commandline.h"
#include "console.h"
#include "engineenv.h"
#include "headless.h"
#include "mainwindow.h"
#include "signalwatch.h"
#include "sqlconnection.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

void prepareEngine()
{
    const engine::Environment env = engine::prepare(QCoreApplication::applicationDirPath());
    if (!env.problem.isEmpty())
        console::problem(env.problem);
}

// The help fits the terminal, and no more than 80 columns, as Qt's list of options does.
int helpColumns()
{
    const int columns = console::terminalColumns(STDOUT_FILENO);
    return columns > 0 ? std::min(columns, 80) : 80;
}

// An application object that takes Qt's options and needs no display: on Qt's minimal platform,
// named last so that it wins over one on the command line. Every way but the window's runs with
// it; the window makes its own, on the display.
class DisplayFree {
public:
    DisplayFree(int argc, char **argv) : arguments_(argv, argv + argc)
    {
        // The help's usage line names the command, not the path it was started by.
        static char command[] = "conversor", platform[] = "-platform", minimal[] = "minimal";
        arguments_.at(0) = command;
        arguments_.push_back(platform);
        arguments_.push_back(minimal);
        count_ = int(arguments_.size());
        arguments_.push_back(nullptr);
        // What that platform says as it starts (no runtime folder, say) is not the user's business.
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &,
                                                                    const QString &message) {
            if (type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(message));
        });
        app_ = std::make_unique<QApplication>(count_, arguments_.data());
        qInstallMessageHandler(previous);
        TApplication::setIdentity();
        TApplication::loadQtTranslations();
    }

private:
    std::vector<char *> arguments_;
    int count_ = 0;
    std::unique_ptr<QApplication> app_;
};

// What Qt says while the window's application object is being made, held back until it is
// there: without a display (none named, or one that cannot be opened) Qt gives up with a fatal
// message as the object is made, and the user gets one line of this program's instead.
class DisplayWatch {
public:
    explicit DisplayWatch(const QString &display)
    {
        display_ = display;
        previous_ = qInstallMessageHandler(hold);
    }
    // The messages held, as they would have gone.
    ~DisplayWatch()
    {
        qInstallMessageHandler(previous_);
        for (const Held &message : held_)
            previous_(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category.constData()),
                      message.text);
        held_.clear();
    }

private:
    struct Held {
        QtMsgType type;
        QByteArray category;
        QString text;
    };
    static void hold(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type == QtFatalMsg) {
            console::problem(display_.isEmpty()
                                 ? QStringLiteral("não há tela para a janela (DISPLAY e WAYLAND_DISPLAY vazias); sem janela, "
                                                  "use --convert para converter ou --check para examinar")
                                 : QStringLiteral("não foi possível abrir a tela %1 para a janela; sem janela, use --convert "
                                                  "para converter ou --check para examinar")
                                       .arg(display_));
            // Qt would abort once this returns, with its application object half made.
            std::fflush(nullptr);
            _exit(2);
        }
        held_.push_back({type, context.category, text});
    }

    static inline QString display_;
    static inline QtMessageHandler previous_ = nullptr;
    static inline std::vector<Held> held_;
};

// The display the window is to open: the last -display's, as Qt's X11 platform takes it, else
// the environment's.
QString displayNamed(int argc, char **argv)
{
    QString named = qEnvironmentVariableIsEmpty("DISPLAY") ? qEnvironmentVariable("WAYLAND_DISPLAY")
                                                           : qEnvironmentVariable("DISPLAY");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "-display") == 0 || qstrcmp(argv[i], "--display") == 0)
            named = QString::fromLocal8Bit(argv[++i]);
    }
    return named;
}

// The window, with file in its path field. Its application object takes Qt's options again,
// the X11 platform's among them.
int runWindow(int argc, char **argv, const QString &file)
{
    std::unique_ptr<TApplication> app;
    {
        const DisplayWatch watch(displayNamed(argc, argv));
        app = std::make_unique<TApplication>(argc, argv);
    }
    TApplication::setIdentity();
    TApplication::loadQtTranslations();
    prepareEngine();
    SignalWatch watch;
    TForm1 Form1;
    if (!file.isEmpty())
        Form1.setPathText(CommandLine::fullPath(file));
    int ending = 0;
    QObject::connect(&watch, &SignalWatch::received, &Form1, [&](int signo) {
        if (!ending)
            ending = signo;
        Form1.endOnRequest();
    });
    Form1.show();
    const int status = app->exec();
    if (ending && Form1.endedDuringRun() && Form1.lastOutcome() == Conversion::Outcome::Converted) {
        // The signal came once the commit had been sent: the database is converted.
        std::printf("conversor: %s: Dados atualizados com sucesso!\n", qPrintable(Form1.pathText()));
        return 0;
    }
    if (ending && Form1.lastOutcome() == Conversion::Outcome::Interrupted) {
        // One line, as --convert's: the file, the stop and the signal that asked for it.
        console::stopped(Form1.pathText(), Form1.lastFailure(), SignalWatch::name(ending));
        return 128 + ending;
    }
    return status;
}

// The process's end. An attach given up on a stop may still wait on a server that does not
// answer: it holds nothing, and the process does not wait for it.
int ending(int status)
{
    if (TSQLConnection::attachesGivenUp()) {
        std::fflush(nullptr);
        _exit(status);
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    // Qt's options are Qt's: taken first, by an application object that needs no display.
    auto qt = std::make_unique<DisplayFree>(argc, argv);
    CommandLine line = CommandLine::parse(QCoreApplication::arguments().mid(1));
    line.keepBytes(argc, argv);
    if (!line.sound()) {
        console::problem(line.problem);
        return 2;
    }
    const ServerLogin login{line.user, line.password};
    switch (line.mode) {
    case CommandLine::Window:
        // The window makes its own application object, on the display. Its X11 platform ends the
        // process with exit(1) when the display goes away: exitguard.cpp interposes exit(), which
        // stops a run under way and undoes it first.
        qt.reset();
        return ending(runWindow(argc, argv, line.files.value(0)));
    case CommandLine::Convert:
        prepareEngine();
        return ending(convertFiles(line.files, line.noCopy, line.again, login));
    case CommandLine::Check:
        prepareEngine();
        return ending(checkFiles(line.files, line.codeList, login));
    case CommandLine::Restore:
        prepareEngine();
        return ending(restoreCopies(line.files, login));
    case CommandLine::Unlock:
        prepareEngine();
        return ending(unlockFiles(line.files, login));
    case CommandLine::Help: {
        const QString help = CommandLine::helpText(helpColumns());
        std::printf("%s%s", qPrintable(help), help.endsWith(u'\n') ? "" : "\n");
        return 0;
    }
    case CommandLine::HelpAll:
        CommandLine::showHelpAll(helpColumns());
    case CommandLine::Version:
        std::printf("conversor %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return 2;
}
