#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The first worksheet of an .xlsx file as a spreadsheet reads it back, from its XML: each
// cell's type as stored (a string, shared or inline; a number; none) and its text, the
// "_xHHHH_" escapes read; and whether the cell's number format is text ("@"), so that what is
// typed into it stays text too.
struct SheetCell {
    enum class Type { Blank, Text, Number };
    Type type = Type::Blank;
    QString value;
    bool textFormat = false;
};
using SheetRows = QList<QList<SheetCell>>;

// Reads path; on a fault, returns nothing and says why in error.
SheetRows readSheet(const QString &path, QString *error);
// The rows' texts alone, a row a list, as QCOMPARE shows them.
QList<QStringList> sheetTexts(const SheetRows &rows);

// The lines of a list's CSV after its UTF-8 mark; none when it cannot be read.
QStringList csvLines(const QString &path);
