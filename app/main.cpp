#include "application.h"
#include "mainwindow.h"

int main(int argc, char **argv)
{
    // The layout is in pixels at 96 dots per inch; the platform must not rescale it.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (qEnvironmentVariableIsEmpty("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "96");
    TApplication app(argc, argv);
    TForm1 Form1;
    Form1.show();
    return app.exec();
}
