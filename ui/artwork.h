#pragma once
// The program's pictures as drawings. The header's logo and the message boxes' icons are drawn
// by the window for the pixels of whatever screen shows them; the command symbols, the
// database and the program's icon are written by makepictures into resources/ and into the
// desktop's icon theme. Everything is drawn in white (or a lighter red) on the header's red,
// except the icons, which carry their own colours.

#include <QImage>
#include <QString>

class QPainter;
class QRectF;

namespace artwork {

// The logo: "Malhavera" over "m a l h a s   e   c o n f e c ç õ e s" and a rule, white on the
// header's red, filling box; its lettering stays 8 pixels inside the box's sides.
void paintLogo(QPainter &p, const QRectF &box);
inline constexpr int logoMargin = 8;

enum class Icon { Information, Error, Question };
// A message box's icon, a disc with its sign, in a square box; transparent around the disc.
void paintIcon(QPainter &p, Icon icon, const QRectF &box);

// A drawing rendered for a box of a size in layout pixels on a screen of the given device pixel
// ratio: an image of the screen's pixels that covers the box, the ratio set on it.
QImage logo(QSize box, qreal ratio);
QImage icon(Icon icon, int size, qreal ratio);
// The drawing of that name ("logo"), as logo() renders it; a null image for any other name.
QImage drawing(const QString &name, QSize box, qreal ratio);

// What makepictures writes.
QImage database();
QImage openSymbol();
QImage convertSymbol(int size);
QImage exitSymbol();
// The program's icon at a size: the convert symbol; at 16 and 32 pixels a simpler drawing on
// whole pixels, with no smoothing, that a menu or a title bar shows legibly.
QImage programIcon(int size);

} // namespace artwork
