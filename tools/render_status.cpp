// Renders the main window's status line with a given text, as the program draws it:
//   render_status TEXT OUT.png    prints the line's rectangle in the window as WxH+X+Y
// The end-to-end test compares it with a screenshot of the running program.
#include "application.h"
#include "label.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <cstdio>

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_status TEXT OUT.png\n");
        return 2;
    }
    TForm1 form;
    TLabel *status = form.ui().lblProgresso;
    status->setCaption(QString::fromUtf8(argv[1]));
    const QRect r = status->geometry();
    if (!form.grab(r).save(QString::fromLocal8Bit(argv[2])))
        return 1;
    std::printf("%dx%d+%d+%d\n", r.width(), r.height(), r.x(), r.y());
    return 0;
}
