#pragma once

#include <QFont>

class QWidget;

// The layout's fonts measure text as the desktop it was drawn for does: a line of Tahoma
// regular 8 is 13 pixels high (the font's Windows ascent plus descent, not FreeType's).
namespace winfont {

// Makes Debian's Tahoma (from the Wine fonts) known to the application.
void loadTahoma();
int lineHeight(const QFont &font);
int ascent(const QFont &font);
// The layout's regular 8: Tahoma with an 11-pixel character height.
QFont regular8();
// Gives the fonts that widget and its members name for themselves in points their size in
// layout pixels (points at 96 dots per inch), so that text keeps its place in the layout
// whatever resolution the platform reports; the display's scale then enlarges both alike.
void useLayoutPixels(QWidget *widget);

} // namespace winfont
