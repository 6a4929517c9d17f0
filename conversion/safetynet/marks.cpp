#include "marks.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace marks {

namespace {

const QByteArray prefix = QByteArrayLiteral("Conversor de dados: ");
const QString dateFormat = QStringLiteral("dd/MM/yyyy HH:mm:ss");

const QString convertedText = QStringLiteral("códigos de produto convertidos em %1.");
const QString reservedText = QStringLiteral("banco reservado para uma conversão desde %1; se ela foi interrompida, "
                                            "conversor --check deste banco o devolve.");
const QString copyingText = QStringLiteral("cópia de segurança de «%1» em andamento em «%2».");
const QString copiedText = QStringLiteral("cópia de segurança completa em «%1», %2 bytes.");
const QString copyOfText = QStringLiteral("cópia de segurança de «%1» feita em %2; para voltar a ela, conversor --restore.");
const QString restoringText = QStringLiteral("volta de «%1» à cópia «%2» em andamento; se ela foi interrompida, "
                                             "conversor --restore da cópia a conclui.");
const QString triggerOffText = QStringLiteral("gatilho desativado durante uma conversão; a próxima conversão deste "
                                              "banco o reativa.");

// The check value of a line's text where it stands: what a person would not type.
QByteArray checkOf(const QByteArray &text, const QString &context)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayLiteral("conversor de dados\n"));
    hash.addData(context.toUtf8());
    hash.addData(QByteArrayLiteral("\n"));
    hash.addData(text);
    return hash.result().toHex().left(8);
}

QByteArray lineOf(const QString &text, const QString &context = {})
{
    const QByteArray body = prefix + text.toUtf8();
    return body + QByteArrayLiteral(" [verificação ") + checkOf(body, context) + ']';
}

// A line of the description: where its bytes are, and where the line break before it begins.
struct Span {
    qsizetype from, to;    // the line, without its break
    qsizetype breakBefore; // the break before it begins here (from, for the first line)
    qsizetype breakAfter;  // the break after it ends here (to, for the last line)
};

QList<Span> spansOf(const QByteArray &d)
{
    QList<Span> spans;
    qsizetype from = 0, breakBefore = 0;
    for (qsizetype i = 0;; ++i) {
        if (i == d.size()) {
            spans.append({from, i, breakBefore, i});
            break;
        }
        if (d[i] != '\n' && d[i] != '\r')
            continue;
        const qsizetype end = d[i] == '\r' && i + 1 < d.size() && d[i + 1] == '\n' ? i + 2 : i + 1;
        spans.append({from, i, breakBefore, end});
        breakBefore = i;
        from = end;
        i = end - 1;
    }
    return spans;
}

QByteArray trimmedBlanks(QByteArray line)
{
    while (!line.isEmpty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove(0, 1);
    while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\t'))
        line.chop(1);
    return line;
}

// The tool's line in text, with its kind and details; nothing when the text is no such line.
std::optional<Line> parse(const QByteArray &raw, const QString &context)
{
    static const QRegularExpression checked(QStringLiteral("^(.*) \\[verificação ([0-9a-f]{8})\\]$"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QByteArray line = trimmedBlanks(raw);
    if (!line.startsWith(prefix))
        return std::nullopt;
    const QRegularExpressionMatch m = checked.match(QString::fromUtf8(line));
    if (!m.hasMatch() || checkOf(m.captured(1).toUtf8(), context) != m.captured(2).toLatin1())
        return std::nullopt;
    const QString text = m.captured(1).mid(prefix.size());
    struct Pattern {
        Kind kind;
        QString text;
    };
    for (const Pattern &p : {Pattern{Kind::Converted, convertedText}, Pattern{Kind::Reserved, reservedText},
                             Pattern{Kind::Copying, copyingText}, Pattern{Kind::Copied, copiedText}, Pattern{Kind::CopyOf, copyOfText},
                             Pattern{Kind::Restoring, restoringText}, Pattern{Kind::TriggerOff, triggerOffText}}) {
        QStringList parts = p.text.split(QRegularExpression(QStringLiteral("%[12]")));
        for (QString &part : parts)
            part = QRegularExpression::escape(part);
        const QString pattern = parts.join(QStringLiteral("(.*)"));
        const QRegularExpressionMatch found =
            QRegularExpression(u'^' + pattern + u'$', QRegularExpression::DotMatchesEverythingOption).match(text);
        if (found.hasMatch())
            return Line{p.kind, found.capturedTexts().mid(1)};
    }
    return std::nullopt;
}

} // namespace

QByteArray converted(const QDateTime &when)
{
    return lineOf(convertedText.arg(when.toString(dateFormat)));
}

QByteArray reserved(const QDateTime &when)
{
    return lineOf(reservedText.arg(when.toString(dateFormat)));
}

QByteArray copying(const QString &database, const QString &partialCopy)
{
    return lineOf(copyingText.arg(database, partialCopy));
}

QByteArray copied(const QString &copy, qint64 size)
{
    return lineOf(copiedText.arg(copy, size < 0 ? QStringLiteral("?") : QString::number(size)));
}

QByteArray copyOf(const QString &database, const QDateTime &when)
{
    return lineOf(copyOfText.arg(database, when.toString(dateFormat)));
}

QByteArray restoring(const QString &database, const QString &copy)
{
    return lineOf(restoringText.arg(database, copy));
}

QByteArray triggerOff(const QString &trigger)
{
    return lineOf(triggerOffText, trigger);
}

QList<Line> find(const Description &description, const QString &context)
{
    QList<Line> found;
    if (!description)
        return found;
    for (const Span &s : spansOf(*description))
        if (const std::optional<Line> line = parse(description->mid(s.from, s.to - s.from), context))
            found << *line;
    return found;
}

bool has(const Description &description, Kind kind, const QString &context)
{
    const QList<Line> lines = find(description, context);
    return std::any_of(lines.cbegin(), lines.cend(), [kind](const Line &l) { return l.kind == kind; });
}

Description withLine(const Description &description, const QByteArray &line)
{
    if (!description)
        return line;
    return *description + '\n' + line;
}

Description without(const Description &description, Kind kind, const QString &context)
{
    if (!description)
        return description;
    QByteArray d = *description;
    bool removedFirst = false;
    const QList<Span> spans = spansOf(d);
    // From the last line back, so that the places found stay right.
    for (qsizetype i = spans.size() - 1; i >= 0; --i) {
        const Span &s = spans[i];
        const std::optional<Line> line = parse(d.mid(s.from, s.to - s.from), context);
        if (!line || line->kind != kind)
            continue;
        if (s.breakBefore < s.from) {
            d.remove(s.breakBefore, s.to - s.breakBefore);
        } else {
            d.remove(s.from, s.breakAfter - s.from);
            removedFirst = true;
        }
    }
    if (removedFirst && d.isEmpty())
        return std::nullopt;
    return d;
}

Description withoutLine(const Description &description, const QByteArray &line)
{
    if (!description)
        return description;
    QByteArray d = *description;
    const QList<Span> spans = spansOf(d);
    for (qsizetype i = spans.size() - 1; i >= 0; --i) {
        const Span &s = spans[i];
        if (trimmedBlanks(d.mid(s.from, s.to - s.from)) != line)
            continue;
        if (s.breakBefore < s.from)
            d.remove(s.breakBefore, s.to - s.breakBefore);
        else
            d.remove(s.from, s.breakAfter - s.from);
        return d.isEmpty() ? Description() : Description(d);
    }
    return description;
}

QString lastConversion(const Description &description)
{
    QString when;
    for (const Line &l : find(description))
        if (l.kind == Kind::Converted)
            when = l.details.value(0);
    if (!when.isEmpty() || !description)
        return when;
    // Lines of an earlier version: the same words, no check value.
    static const QRegularExpression earlier(
        QStringLiteral("^Conversor de dados: códigos de produto convertidos em (\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d)\\.$"));
    for (const Span &s : spansOf(*description))
        if (const QRegularExpressionMatch m =
                earlier.match(QString::fromUtf8(trimmedBlanks(description->mid(s.from, s.to - s.from))));
            m.hasMatch())
            when = m.captured(1);
    return when;
}

} // namespace marks
