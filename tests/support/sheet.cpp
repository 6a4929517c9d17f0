#include "sheet.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>
#include <QtGui/private/qzipreader_p.h>

namespace {

// Office's escape of a character XML cannot hold, "_x000D_" for a carriage return.
QString unescaped(const QString &text)
{
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype from = 0;
    for (auto it = escape.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(from, m.capturedStart() - from) + QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        from = m.capturedEnd();
    }
    return out + text.mid(from);
}

// The text of the element the reader is at: its <t> elements, rich text runs included.
QString textOf(QXmlStreamReader &xml)
{
    QString text;
    const QString end = xml.name().toString();
    while (!xml.atEnd() && !(xml.readNext() == QXmlStreamReader::EndElement && xml.name() == end))
        if (xml.isStartElement() && xml.name() == QLatin1String("t"))
            text += xml.readElementText();
    return unescaped(text);
}

// "C12" -> column 2 (from 0).
int columnOf(const QString &reference)
{
    int column = 0;
    for (const QChar c : reference) {
        if (!c.isLetter())
            break;
        column = column * 26 + (c.toLatin1() - 'A' + 1);
    }
    return column - 1;
}

} // namespace

SheetRows readSheet(const QString &path, QString *error)
{
    QZipReader zip(path);
    if (zip.status() != QZipReader::NoError) {
        *error = QStringLiteral("not a zip file: ") + path;
        return {};
    }
    const QByteArray sheetXml = zip.fileData(QStringLiteral("xl/worksheets/sheet1.xml"));
    if (sheetXml.isEmpty()) {
        *error = QStringLiteral("no xl/worksheets/sheet1.xml in ") + path;
        return {};
    }
    QStringList shared;
    for (QXmlStreamReader xml(zip.fileData(QStringLiteral("xl/sharedStrings.xml"))); !xml.atEnd();)
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("si"))
            shared << textOf(xml);
    // The cell formats (cellXfs, in order) whose number format is text: the built-in 49, or
    // one of the file's own whose code is "@".
    QStringList textFormats{QStringLiteral("49")};
    QList<bool> textStyles;
    bool inCellXfs = false;
    for (QXmlStreamReader xml(zip.fileData(QStringLiteral("xl/styles.xml"))); !xml.atEnd();) {
        xml.readNext();
        if (xml.name() == QLatin1String("cellXfs"))
            inCellXfs = xml.isStartElement();
        else if (xml.isStartElement() && xml.name() == QLatin1String("numFmt")
                 && xml.attributes().value(QLatin1String("formatCode")) == QLatin1String("@"))
            textFormats << xml.attributes().value(QLatin1String("numFmtId")).toString();
        else if (inCellXfs && xml.isStartElement() && xml.name() == QLatin1String("xf"))
            textStyles << textFormats.contains(xml.attributes().value(QLatin1String("numFmtId")).toString());
    }

    SheetRows rows;
    QXmlStreamReader xml(sheetXml);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("row")) {
            const int r = xml.attributes().value(QLatin1String("r")).toInt();
            while (rows.size() < r)
                rows.append(QList<SheetCell>());
            continue;
        }
        if (xml.name() != QLatin1String("c"))
            continue;
        const int column = columnOf(xml.attributes().value(QLatin1String("r")).toString());
        const QString type = xml.attributes().value(QLatin1String("t")).toString();
        SheetCell cell;
        cell.textFormat = textStyles.value(xml.attributes().value(QLatin1String("s")).toInt());
        while (!xml.atEnd() && !(xml.readNext() == QXmlStreamReader::EndElement && xml.name() == QLatin1String("c"))) {
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("is")) {
                cell.type = SheetCell::Type::Text;
                cell.value = textOf(xml);
            } else if (xml.name() == QLatin1String("v")) {
                const QString v = xml.readElementText();
                cell.type = type == QLatin1String("s") || type == QLatin1String("str") ? SheetCell::Type::Text
                                                                                        : SheetCell::Type::Number;
                cell.value = type == QLatin1String("s") ? shared.value(v.toInt()) : v;
            }
        }
        if (rows.isEmpty()) {
            *error = QStringLiteral("a cell outside a row");
            return {};
        }
        QList<SheetCell> &row = rows.last();
        while (row.size() <= column)
            row.append(SheetCell());
        row[column] = cell;
    }
    if (xml.hasError()) {
        *error = QStringLiteral("sheet1.xml: ") + xml.errorString();
        return {};
    }
    return rows;
}

QList<QStringList> sheetTexts(const SheetRows &rows)
{
    QList<QStringList> texts;
    for (const QList<SheetCell> &row : rows) {
        QStringList line;
        for (const SheetCell &cell : row)
            line << cell.value;
        texts << line;
    }
    return texts;
}

QStringList csvLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = f.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return QString::fromUtf8(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}
