// The lines the tool writes into descriptions the database keeps: found whatever the line ends
// and the blanks around them, recognised only when their check value holds, and taken away so
// that the user's text is what it was, byte for byte.
#include "marks.h"

#include <QtTest>

using marks::Description;

namespace {

const QDateTime when(QDate(2026, 12, 10), QTime(14, 30));

QByteArray converted()
{
    return marks::converted(when);
}

} // namespace

class TestMarks : public QObject {
    Q_OBJECT
private slots:
    void foundWhateverTheLineEnds_data();
    void foundWhateverTheLineEnds();
    void onlyTheToolsOwnLines_data();
    void onlyTheToolsOwnLines();
    void theUsersTextByteForByte_data();
    void theUsersTextByteForByte();
    void detailsReadBack();
};

void TestMarks::foundWhateverTheLineEnds_data()
{
    QTest::addColumn<QByteArray>("description");
    const QByteArray line = converted();
    QTest::newRow("LF") << "Loja 1\n" + line;
    QTest::newRow("CR LF, as Windows tools write it") << "Loja 1\r\n" + line + "\r\nLoja 2\r\n";
    QTest::newRow("CR alone") << "Loja 1\r" + line + "\rLoja 2";
    QTest::newRow("blanks and tabs around it") << "Loja 1\n  \t" + line + " \t\nLoja 2";
    QTest::newRow("alone") << line;
    QTest::newRow("first, the user's text after it") << line + "\r\nLoja 1";
}

void TestMarks::foundWhateverTheLineEnds()
{
    QFETCH(QByteArray, description);
    QCOMPARE(marks::lastConversion(description), QStringLiteral("10/12/2026 14:30:00"));
    QVERIFY(marks::has(description, marks::Kind::Converted));
}

void TestMarks::onlyTheToolsOwnLines_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QString>("context");
    QTest::addColumn<bool>("theTools");
    const QByteArray record = marks::triggerOff(QStringLiteral("PRODUTOS_AU"));
    QByteArray altered = record;
    altered.replace("desativado", "desligado");
    QByteArray unchecked = record;
    unchecked.truncate(unchecked.lastIndexOf(" [verificação "));
    QTest::newRow("its own record, on its trigger") << record << "PRODUTOS_AU" << true;
    QTest::newRow("the same record on another trigger") << record << "VENDAS_AU" << false;
    QTest::newRow("the text changed, the check value kept") << altered << "PRODUTOS_AU" << false;
    QTest::newRow("the words a person would write, no check value") << unchecked << "PRODUTOS_AU" << false;
    QTest::newRow("in the middle of the user's own line") << "Nota: " + record << "PRODUTOS_AU" << false;
}

void TestMarks::onlyTheToolsOwnLines()
{
    QFETCH(QByteArray, description);
    QFETCH(QString, context);
    QFETCH(bool, theTools);
    QCOMPARE(marks::has(description, marks::Kind::TriggerOff, context), theTools);
    // What is not the tool's is the user's text: never taken away.
    const Description left = marks::without(description, marks::Kind::TriggerOff, context);
    if (theTools)
        QVERIFY(!left);
    else
        QCOMPARE(left, Description(description));
}

void TestMarks::theUsersTextByteForByte_data()
{
    QTest::addColumn<Description>("users");
    QTest::addColumn<QByteArray>("saved"); // how a person's editor saves it back with the tool's line ("": as written)
    QTest::newRow("none stays none") << Description() << QByteArray();
    QTest::newRow("an empty text stays empty") << Description(QByteArray()) << QByteArray();
    QTest::newRow("a line") << Description("Loja 1") << QByteArray();
    QTest::newRow("Windows line ends, one at the end") << Description("Loja 1\r\nLoja 2\r\n") << QByteArray();
    QTest::newRow("a byte-order mark") << Description("\xEF\xBB\xBFLoja 1") << QByteArray();
    QTest::newRow("bytes of another character set") << Description("Jo\xE3o e Concei\xE7\xE3o") << QByteArray();
    QTest::newRow("65,000 bytes") << Description(QByteArray(65000, 'x')) << QByteArray();
    // Saved again with Windows line ends after the tool added its line.
    QTest::newRow("saved again with CR LF") << Description("Loja 1") << QByteArray("\r\n");
}

void TestMarks::theUsersTextByteForByte()
{
    QFETCH(Description, users);
    QFETCH(QByteArray, saved);
    Description d = marks::withLine(marks::withLine(users, marks::reserved(when)), converted());
    if (!saved.isEmpty())
        d->replace("\n", saved);
    QVERIFY(marks::has(d, marks::Kind::Reserved));
    QVERIFY(marks::has(d, marks::Kind::Converted));
    const Description back = marks::without(marks::without(d, marks::Kind::Converted), marks::Kind::Reserved);
    QCOMPARE(back, users);
}

void TestMarks::detailsReadBack()
{
    const QString database = QStringLiteral("/dados/lojá «2».fb"), partial = QStringLiteral("/dados/lojá.copia-20261210-143000.fb.parcial");
    const QList<marks::Line> found = marks::find(marks::withLine(Description("Loja"), marks::copying(database, partial)));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].kind, marks::Kind::Copying);
    QCOMPARE(found[0].details, (QStringList{database, partial}));
}

QTEST_GUILESS_MAIN(TestMarks)
#include "tst_marks.moc"
