// Start-up: the command line decides between the window, a conversion without a window, and
// the help or the version (neither of which needs a display).
#include "application.h"
#include "commandline.h"
#include "engineenv.h"
#include "headless.h"
#include "mainwindow.h"
#include "signalwatch.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

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
        std::fprintf(stderr, "conversor: %s\n", qPrintable(env.problem));
}

// A file on the command line as the path field shows a chosen one: in full.
QString fullPath(const QString &file)
{
    const QFileInfo info(file);
    return info.exists() ? info.absoluteFilePath() : file;
}

int runWindow(int argc, char **argv, const QString &file)
{
    TApplication app(argc, argv);
    TApplication::setIdentity();
    TApplication::loadQtTranslations();
    prepareEngine();
    SignalWatch watch;
    TForm1 Form1;
    if (!file.isEmpty())
        Form1.setPathText(fullPath(file));
    int ending = 0;
    QObject::connect(&watch, &SignalWatch::received, &Form1, [&](int signo) {
        if (!ending)
            ending = signo;
        Form1.endOnRequest();
    });
    Form1.show();
    const int status = app.exec();
    if (ending && Form1.lastOutcome() == Conversion::Outcome::Interrupted) {
        // One line: why the run stopped, and what its box would have said.
        QString said = Form1.lastFailure();
        said.replace(u'\r', u' ').replace(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral(" "));
        std::fprintf(stderr, "conversor: conversão interrompida por %s; nada foi alterado. %s\n",
                     qPrintable(SignalWatch::name(ending)), qPrintable(said));
        return 128 + ending;
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    const CommandLine line = CommandLine::parse(argumentsOf(argc, argv));
    if (line.mode == CommandLine::Window)
        return runWindow(argc, argv, line.files.value(0));

    QCoreApplication app(argc, argv);
    TApplication::setIdentity();
    switch (line.mode) {
    case CommandLine::Version:
        std::printf("conversor %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    case CommandLine::Convert:
        prepareEngine();
        return convertFiles(line.files);
    default: {
        // Parsed again with Qt's texts in Portuguese.
        TApplication::loadQtTranslations();
        const CommandLine again = CommandLine::parse(argumentsOf(argc, argv));
        std::fprintf(line.mode == CommandLine::Help ? stdout : stderr, "%s%s", qPrintable(again.text),
                     again.text.endsWith(u'\n') ? "" : "\n");
        return line.mode == CommandLine::Help ? 0 : 2;
    }
    }
}
