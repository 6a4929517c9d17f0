// Draws the main window's pictures and icon into resources/: makepictures OUTPUT_DIR
// and the program's icon for the desktop's icon theme (the convert symbol, as the window's icon):
//   makepictures --icons THEME_DIR NAME   writes THEME_DIR/hicolor/SIZExSIZE/apps/NAME.png
// Every picture is opaque, on the header red, in white (or a lighter red for the database).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>

namespace {

const QColor headerRed(182, 66, 69);
const QColor lighterRed(204, 123, 125);

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(headerRed);
    return image;
}

QPainter &prepare(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    return p;
}

// A solid arrow along the x axis from x0 to x1 (the head at x1), centred on y.
void arrow(QPainter &p, double x0, double x1, double y, double shaft, double head, double headLength)
{
    const double dir = x1 > x0 ? 1 : -1;
    const double neck = x1 - dir * headLength;
    QPolygonF poly;
    poly << QPointF(x0, y - shaft / 2) << QPointF(neck, y - shaft / 2) << QPointF(neck, y - head / 2)
         << QPointF(x1, y) << QPointF(neck, y + head / 2) << QPointF(neck, y + shaft / 2) << QPointF(x0, y + shaft / 2);
    p.drawPolygon(poly);
}

QImage logo()
{
    QImage image = canvas(210, 83);
    QPainter p(&image);
    prepare(p);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(34);
    p.setFont(f);
    p.drawText(QRect(0, 6, 210, 46), Qt::AlignCenter, QStringLiteral("Malhavera"));
    f.setBold(false);
    f.setPixelSize(13);
    p.setFont(f);
    p.drawText(QRect(0, 52, 210, 22), Qt::AlignCenter, QStringLiteral("m a l h a s   e   c o n f e c ç õ e s"));
    p.fillRect(QRect(30, 75, 150, 2), Qt::white);
    return image;
}

QImage database()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(lighterRed);
    const double left = 48, width = 160, rx = 80, ry = 26;
    // Three discs, lowest first, then the lid on top.
    for (int i = 2; i >= 0; --i) {
        const double top = 78 + i * 52;
        QPainterPath disc;
        disc.addRect(left, top, width, 40);
        disc.addEllipse(QPointF(left + rx, top + 40), rx, ry);
        p.drawPath(disc.simplified());
        p.setBrush(headerRed);
        p.drawEllipse(QPointF(left + rx, top), rx, ry);
        p.setBrush(lighterRed);
        p.drawEllipse(QPointF(left + rx, top), rx - 2, ry - 2);
        p.setBrush(headerRed);
        p.drawRect(QRectF(left, top + 40 + ry - 4, width, 0)); // keeps discs apart
        p.setBrush(lighterRed);
    }
    p.setBrush(lighterRed);
    p.drawEllipse(QPointF(left + rx, 52), rx, ry);
    p.setBrush(headerRed);
    p.drawEllipse(QPointF(left + rx, 52), rx - 14, ry - 8);
    return image;
}

QImage openSymbol()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    prepare(p);
    p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(108, 40, 108, 96));  // rear, upper right
    p.drawRect(QRectF(40, 120, 108, 96));  // front, lower left
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.save();
    p.translate(94, 162);
    p.rotate(-45);
    arrow(p, 0, 96, 0, 14, 44, 34);
    p.restore();
    return image;
}

QImage convertSymbol(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    prepare(p);
    p.scale(size / 256.0, size / 256.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    arrow(p, 220, 36, 88, 36, 96, 64);   // upper, pointing left
    arrow(p, 36, 220, 168, 36, 96, 64);  // lower, pointing right
    return image;
}

QImage exitSymbol()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    prepare(p);
    p.setPen(QPen(Qt::white, 14, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    QPolygonF frame;
    frame << QPointF(150, 92) << QPointF(150, 36) << QPointF(44, 36) << QPointF(44, 220) << QPointF(150, 220)
          << QPointF(150, 164);
    p.drawPolyline(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    arrow(p, 92, 228, 128, 30, 84, 56);
    return image;
}

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
                || !save(convertSymbol(size), theme.filePath(folder + u'/' + QString::fromLocal8Bit(argv[3]) + ".png")))
                return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: makepictures OUTPUT_DIR | makepictures --icons THEME_DIR NAME\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const bool ok = save(logo(), out.filePath("logo.png")) && save(database(), out.filePath("database.png"))
        && save(openSymbol(), out.filePath("open.png")) && save(convertSymbol(256), out.filePath("convert.png"))
        && save(exitSymbol(), out.filePath("exit.png"))
        && save(convertSymbol(64).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), out.filePath("mainicon.png"));
    return ok ? 0 : 1;
}
