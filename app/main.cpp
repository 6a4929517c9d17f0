// Start-up: the command line decides between the window, a conversion without one, and the
// help or the version (none of which needs a display). Qt's own options (-platform, -style,
// -reverse...) are taken by the application object before the program reads the rest.
#include "application.h"
#include "commandline.h"
#include "console.h"
#include "engineenv.h"
#include "headless.h"
#include "mainwindow.h"
#include "signalwatch.h"
#include "sqlconnection.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void prepareEngine()
{
    const engine::Environment env = engine::prepare(QCoreApplication::applicationDirPath());
    if (!env.problem.isEmpty())
        console::problem(env.problem);
}

// Whether a display is there for the window's application object; without one, Qt ends the
// process as that object is made.
bool displayAround(const QStringList &arguments)
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || arguments.contains(QStringLiteral("-display")) || arguments.contains(QStringLiteral("--display"));
}

// The help fits the terminal, and no more than 80 columns, as Qt's list of options does.
int helpColumns()
{
    const int columns = console::terminalColumns(STDOUT_FILENO);
    return columns > 0 ? std::min(columns, 80) : 80;
}

int runWindow(int argc, char **argv)
{
    TApplication app(argc, argv);
    TApplication::setIdentity();
    TApplication::loadQtTranslations();
    // What is left once the application has taken its own options.
    const CommandLine line = CommandLine::parse(QCoreApplication::arguments().mid(1));
    if (!line.sound()) {
        console::problem(line.problem);
        return 2;
    }
    prepareEngine();
    SignalWatch watch;
    TForm1 Form1;
    if (!line.files.isEmpty())
        Form1.setPathText(CommandLine::fullPath(line.files.first()));
    int ending = 0;
    QObject::connect(&watch, &SignalWatch::received, &Form1, [&](int signo) {
        if (!ending)
            ending = signo;
        Form1.endOnRequest();
    });
    Form1.show();
    const int status = app.exec();
    if (ending && Form1.endedDuringRun() && Form1.lastOutcome() == Conversion::Outcome::Converted) {
        // The signal came once the commit had been sent: the database is converted.
        std::printf("conversor: %s: Dados atualizados com sucesso!\n", qPrintable(Form1.pathText()));
        return 0;
    }
    if (ending && Form1.lastOutcome() == Conversion::Outcome::Interrupted) {
        // One line: why the run stopped, and what its box would have said.
        console::problem(QStringLiteral("conversão interrompida por %1; nada foi alterado. ")
                             .arg(SignalWatch::name(ending)) + Form1.lastFailure());
        return 128 + ending;
    }
    return status;
}

// An application object that takes Qt's options and needs no display: on Qt's minimal platform,
// named last so that it wins over one on the command line. For the help that lists Qt's options,
// and for a line with options this program does not take, which may be Qt's.
class DisplayFree {
public:
    DisplayFree(int argc, char **argv) : arguments_(argv, argv + argc)
    {
        static char platform[] = "-platform", minimal[] = "minimal";
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
    }

private:
    std::vector<char *> arguments_;
    int count_ = 0;
    std::unique_ptr<QApplication> app_;
};

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
    const QStringList arguments = argumentsOf(argc, argv);
    const CommandLine asked = CommandLine::parse(arguments);
    if (asked.mode == CommandLine::Window && (asked.sound() || (!asked.unknown.isEmpty() && displayAround(arguments))))
        return ending(runWindow(argc, argv));

    std::unique_ptr<DisplayFree> displayFree;
    std::unique_ptr<QCoreApplication> plain;
    if (asked.mode == CommandLine::HelpAll || !asked.unknown.isEmpty()) {
        displayFree = std::make_unique<DisplayFree>(argc, argv);
        if (const CommandLine left = CommandLine::parse(QCoreApplication::arguments().mid(1));
            left.mode == CommandLine::Window && left.sound()) {
            // Qt's options for the window: its application object is made anew, on the display.
            displayFree.reset();
            return ending(runWindow(argc, argv));
        }
    } else {
        plain = std::make_unique<QCoreApplication>(argc, argv);
    }
    TApplication::setIdentity();
    CommandLine line = CommandLine::parse(QCoreApplication::arguments().mid(1));
    if ((line.mode != CommandLine::Convert && line.mode != CommandLine::Check) || !line.sound()) {
        // Parsed again with Qt's texts in Portuguese.
        TApplication::loadQtTranslations();
        line = CommandLine::parse(QCoreApplication::arguments().mid(1));
    }
    if (!line.sound()) {
        console::problem(line.problem);
        return 2;
    }
    switch (line.mode) {
    case CommandLine::Version:
        std::printf("conversor %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    case CommandLine::Help: {
        const QString help = CommandLine::helpText(helpColumns());
        std::printf("%s%s", qPrintable(help), help.endsWith(u'\n') ? "" : "\n");
        return 0;
    }
    case CommandLine::HelpAll:
        CommandLine::showHelpAll(helpColumns());
    case CommandLine::Convert:
        prepareEngine();
        return ending(convertFiles(line.files, line.noCopy, line.again));
    case CommandLine::Check:
        prepareEngine();
        return ending(checkFiles(line.files));
    case CommandLine::Window: // a sound line for the window went to runWindow above
        break;
    }
    return 2;
}
