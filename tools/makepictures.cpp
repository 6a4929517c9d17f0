// Writes the main window's pictures into resources/: makepictures OUTPUT_DIR
// and the program's icon for the desktop's icon theme (the convert symbol, as the window's icon):
//   makepictures --icons THEME_DIR NAME   writes THEME_DIR/hicolor/SIZExSIZE/apps/NAME.png
// The drawings are the program's own (ui/artwork.cpp); the logo and the message boxes' icons
// are not written: the window draws them for the screen that shows them.
#include "artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

namespace {

bool save(const QImage &image, const QString &file)
{
    if (image.save(file, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--icons") {
        const QDir theme(QString::fromLocal8Bit(argv[2]));
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
            if (!theme.mkpath(folder)
                || !save(artwork::programIcon(size), theme.filePath(folder + u'/' + QString::fromLocal8Bit(argv[3]) + ".png")))
                return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: makepictures OUTPUT_DIR | makepictures --icons THEME_DIR NAME\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const bool ok = save(artwork::database(), out.filePath("database.png"))
        && save(artwork::openSymbol(), out.filePath("open.png")) && save(artwork::convertSymbol(256), out.filePath("convert.png"))
        && save(artwork::exitSymbol(), out.filePath("exit.png"))
        && save(artwork::convertSymbol(64).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), out.filePath("mainicon.png"));
    return ok ? 0 : 1;
}
