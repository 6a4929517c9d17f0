#include "winfont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QRawFont>
#include <QWidget>
#include <QtEndian>

#include <cmath>

namespace {

struct WinMetrics {
    int ascent;
    int descent;
};

WinMetrics metrics(const QFont &font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray os2 = raw.fontTable("OS/2");
    if (raw.isValid() && os2.size() >= 78 && raw.unitsPerEm() > 0) {
        const double scale = raw.pixelSize() / raw.unitsPerEm();
        const auto winAscent = qFromBigEndian<quint16>(os2.constData() + 74);
        const auto winDescent = qFromBigEndian<quint16>(os2.constData() + 76);
        return {int(std::lround(winAscent * scale)), int(std::lround(winDescent * scale))};
    }
    const QFontMetrics fm(font);
    return {fm.ascent(), fm.descent()};
}

} // namespace

namespace winfont {

void loadTahoma()
{
    static const bool loaded = [] {
        for (const char *file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        return true;
    }();
    Q_UNUSED(loaded);
}

int lineHeight(const QFont &font)
{
    const WinMetrics m = metrics(font);
    return m.ascent + m.descent;
}

int ascent(const QFont &font)
{
    return metrics(font).ascent;
}

void useLayoutPixels(QWidget *widget)
{
    QWidgetList members{widget};
    for (QWidget *member : widget->findChildren<QWidget *>())
        members << member;
    for (QWidget *member : std::as_const(members)) {
        if (!member->testAttribute(Qt::WA_SetFont) || member->font().pointSizeF() <= 0)
            continue;
        QFont font = member->font();
        font.setPixelSize(int(std::lround(font.pointSizeF() * 96 / 72)));
        member->setFont(font);
    }
}

QFont regular8()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

} // namespace winfont
