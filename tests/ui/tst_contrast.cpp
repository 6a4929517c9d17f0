// The window read on a light desktop and on a dark one: every text against what it is drawn
// on, and the focus ring of the command panels against its neighbours, measured on the
// rendered pixels as WCAG's contrast ratio (text 4.5:1, the ring 3:1).
#include "gauge.h"
#include "label.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "pixels.h"
#include "shownform.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {

const QColor red(182, 66, 69);

// A dark desktop theme's palette, as a desktop hands it to its programs.
QPalette darkPalette()
{
    QPalette p;
    const QColor window(49, 54, 59), text(239, 240, 241), base(35, 38, 41);
    for (auto [role, colour] : {std::pair{QPalette::Window, window}, {QPalette::WindowText, text},
                                {QPalette::Base, base}, {QPalette::AlternateBase, window}, {QPalette::Text, text},
                                {QPalette::Button, window}, {QPalette::ButtonText, text},
                                {QPalette::Highlight, QColor(61, 174, 233)}, {QPalette::HighlightedText, QColor(252, 252, 252)},
                                {QPalette::ToolTipBase, window}, {QPalette::ToolTipText, text},
                                {QPalette::PlaceholderText, QColor(150, 150, 150)}, {QPalette::BrightText, Qt::white},
                                {QPalette::Light, QColor(70, 77, 84)}, {QPalette::Midlight, QColor(60, 66, 72)},
                                {QPalette::Mid, QColor(40, 44, 48)}, {QPalette::Dark, QColor(30, 33, 36)},
                                {QPalette::Shadow, QColor(10, 10, 10)}})
        p.setColor(role, colour);
    return p;
}

// The part of a member as the window shows it.
QImage shot(QWidget *member)
{
    QImage image = member->window()->grab(QRect(member->mapTo(member->window(), QPoint(0, 0)), member->size())).toImage();
    image.setDevicePixelRatio(1);
    return image.convertToFormat(QImage::Format_RGB32);
}

// The pixels of after that differ from the colour most pixels of before have: a selection and
// the text on it.
QImage changed(const QImage &before, const QImage &after)
{
    const QColor back = pixels::background(before);
    QRect box;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (QColor(after.pixel(x, y)) != back)
                box |= QRect(x, y, 1, 1);
    return after.copy(box);
}

// Where the path field's line of text is: between the caret's places before its first and
// after its last character.
QRect fieldText(QLineEdit *field)
{
    const int end = int(field->text().size());
    field->setCursorPosition(0);
    const QRect first = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    field->setCursorPosition(end);
    const QRect last = field->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    return QRect(QPoint(first.center().x(), first.top()), QPoint(last.center().x(), last.bottom()));
}

// The pixels just outside a panel, from its edge outwards, across the middle of one side.
QList<QColor> outwards(const QImage &window, const QRect &panel, const QString &side, int count)
{
    QList<QColor> line;
    const QPoint mid = panel.center();
    for (int i = 0; i <= count; ++i) {
        QPoint at;
        if (side == QLatin1String("left"))
            at = QPoint(panel.left() - i, mid.y());
        else if (side == QLatin1String("right"))
            at = QPoint(panel.right() + i, mid.y());
        else if (side == QLatin1String("top"))
            at = QPoint(mid.x(), panel.top() - i);
        else
            at = QPoint(mid.x(), panel.bottom() + i);
        line << window.pixelColor(at); // i = 0: the panel's own edge
    }
    return line;
}

} // namespace

class TestContrast : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void text_data();
    void text();
    void gaugeText_data();
    void gaugeText();
    void focusRing_data();
    void focusRing();

private:
    QPalette light_;
};

void TestContrast::initTestCase()
{
    winfont::loadTahoma();
    light_ = QApplication::palette();
    QVERIFY(pixels::luminance(light_.color(QPalette::Window)) > 0.5);
}

void TestContrast::init()
{
    QFETCH(QString, palette);
    QApplication::setPalette(palette == QLatin1String("dark") ? darkPalette() : light_);
}

void TestContrast::text_data()
{
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("what");
    for (const char *palette : {"light", "dark"})
        for (const char *what : {"path field", "path field, selected", "caption of the path field", "status line", "title",
                                 "message box", "message box, selected"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(what, palette))) << palette << what;
}

void TestContrast::text()
{
    QFETCH(QString, what);
    ShownForm w;
    QVERIFY(w.shown);
    Ui::TForm1 &ui = w.form.ui();
    w.form.setPathText(QStringLiteral("/dados/lojas/matriz/vestrel.fb"));
    w.form.setStatus(QStringLiteral("Atualizando tabela: PRODUTOS"));
    TMessageBox box(&w.form, MessageKind::Error, QStringLiteral("Não foi possível conectar ao banco de dados Vestrel"));
    QImage seen;
    QImage before; // for a selection: the same part before it
    if (what.startsWith(QLatin1String("path field"))) {
        const QRect line = fieldText(ui.edtDestino);
        seen = shot(ui.edtDestino).copy(line);
        if (what.endsWith(QLatin1String("selected"))) {
            before = seen;
            ui.edtDestino->selectAll();
            seen = changed(before, shot(ui.edtDestino).copy(line));
        }
    } else if (what == QLatin1String("caption of the path field")) {
        seen = shot(ui.Label6);
    } else if (what == QLatin1String("status line")) {
        seen = shot(ui.lblProgresso);
    } else if (what == QLatin1String("title")) {
        seen = shot(ui.Label2);
    } else {
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto *label = box.findChild<QLabel *>(QStringLiteral("text"));
        seen = shot(label);
        if (what.endsWith(QLatin1String("selected"))) {
            before = seen;
            label->setSelection(0, int(label->text().size()));
            seen = changed(before, shot(label));
        }
    }
    QVERIFY(!seen.isNull());
    if (!before.isNull())
        QVERIFY2(pixels::background(seen) != pixels::background(before), "nothing shows selected");
    const double ratio = pixels::textContrast(seen);
    QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1:1").arg(ratio, 0, 'f', 2)));
}

void TestContrast::gaugeText_data()
{
    QTest::addColumn<QString>("palette");
    QTest::addColumn<int>("percent");
    for (const char *palette : {"light", "dark"})
        for (int percent : {0, 50, 100})
            QTest::newRow(qPrintable(QStringLiteral("%1%, %2").arg(percent).arg(palette))) << palette << percent;
}

void TestContrast::gaugeText()
{
    QFETCH(int, percent);
    ShownForm w;
    QVERIFY(w.shown);
    w.form.setGaugeMax(100);
    w.form.setProgress(percent);
    const pixels::GaugeText text = pixels::gaugeText(shot(w.form.ui().barra), 1, red);
    QVERIFY(text.onFill + text.onEmpty > 0);
    QVERIFY2(text.lowest >= 4.5, qPrintable(QStringLiteral("%1:1").arg(text.lowest, 0, 'f', 2)));
}

void TestContrast::focusRing_data()
{
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("tabs"); // from the path field
    for (const char *palette : {"light", "dark"})
        for (const auto &[panel, tabs] : {std::pair{"pnlAbrirVestrel", 1}, {"pnlConverter", 2}, {"pnlSair", 3}})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(panel, palette))) << palette << panel << tabs;
}

void TestContrast::focusRing()
{
    QFETCH(QString, panel);
    QFETCH(int, tabs);
    ShownForm w;
    QVERIFY(w.shown);
    auto *target = w.form.findChild<QWidget *>(panel);
    const QRect box = target->geometry();
    const QImage unfocused = w.form.grab().toImage();
    for (int i = 0; i < tabs; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), target);
    const QImage focused = w.form.grab().toImage();
    // What changed around the panel is its focus mark: on every side, at least two pixels deep
    // that stand out 3:1 from what was there, set apart 3:1 from the panel on the inside and
    // from the window on the outside.
    for (const char *side : {"left", "right", "top", "bottom"}) {
        const QList<QColor> before = outwards(unfocused, box, QLatin1String(side), 8);
        const QList<QColor> after = outwards(focused, box, QLatin1String(side), 8);
        qsizetype end = 1;
        int strong = 0;
        while (end < after.size() && after[end] != before[end]) {
            strong += pixels::contrast(after[end], before[end]) >= 3;
            ++end;
        }
        const QString where = QStringLiteral("%1 side: ").arg(QLatin1String(side));
        QVERIFY2(end > 1 && end < after.size(), qPrintable(where + QStringLiteral("no mark, or no end to it")));
        QVERIFY2(strong >= 2, qPrintable(where + QStringLiteral("%1 pixels stand out 3:1").arg(strong)));
        const double inside = pixels::contrast(after[1], after[0]), outside = pixels::contrast(after[end - 1], after[end]);
        QVERIFY2(inside >= 3, qPrintable(where + QStringLiteral("%1:1 against the panel").arg(inside, 0, 'f', 2)));
        QVERIFY2(outside >= 3, qPrintable(where + QStringLiteral("%1:1 against the window").arg(outside, 0, 'f', 2)));
    }
    // Gone when the focus moves on (away from the neighbouring panel's ring).
    QTest::keyClick(QApplication::focusWidget(), tabs == 3 ? Qt::Key_Tab : Qt::Key_Backtab);
    const QImage left = w.form.grab().toImage();
    for (const char *side : {"left", "right", "top", "bottom"})
        QCOMPARE(outwards(left, box, QLatin1String(side), 8).mid(1), outwards(unfocused, box, QLatin1String(side), 8).mid(1));
}

QTEST_MAIN(TestContrast)
#include "tst_contrast.moc"
