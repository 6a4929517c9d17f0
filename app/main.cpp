#include "application.h"
#include "engineenv.h"
#include "mainwindow.h"

int main(int argc, char **argv)
{
    TApplication::useLayoutDpi();
    TApplication app(argc, argv);
    engine::prepare(TApplication::applicationDirPath());
    TForm1 Form1;
    Form1.show();
    return app.exec();
}
