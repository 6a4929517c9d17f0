#include "application.h"
#include "engineenv.h"
#include "mainwindow.h"
#include "signalwatch.h"

#include <QRegularExpression>

#include <cstdio>

int main(int argc, char **argv)
{
    TApplication::useLayoutDpi();
    TApplication app(argc, argv);
    engine::prepare(TApplication::applicationDirPath());
    SignalWatch watch;
    TForm1 Form1;
    int ending = 0;
    QObject::connect(&watch, &SignalWatch::received, &Form1, [&](int signo) {
        if (!ending)
            ending = signo;
        Form1.endOnRequest();
    });
    Form1.show();
    const int status = app.exec();
    if (ending && Form1.lastOutcome() == Conversion::Outcome::Interrupted) {
        // One line: the box the run would have shown, on one line, and why it stopped.
        QString said = Form1.lastFailure();
        said.replace(u'\r', u' ').replace(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral(" "));
        std::fprintf(stderr, "conversor: conversão interrompida por %s; nada foi alterado. %s\n",
                     qPrintable(SignalWatch::name(ending)), qPrintable(said));
        return 128 + ending;
    }
    return status;
}
