// The connection and query objects over the recording fake layer: what reaches the layer,
// and every failure text.
#include "errors.h"
#include "fakelayer.h"
#include "iscenv.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "runtexts.h"

#include <QtTest>

#include <ibase.h>

using dbx::Entry;
using dbx::EntryList;

namespace {

template <class F> QString failureOf(F &&f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.message();
    }
    return QStringLiteral("<no failure>");
}

FakeLayer::Result discoveryResult(int rows)
{
    FakeLayer::Result r{{QStringLiteral("TABELA")}, {}};
    for (int i = 0; i < rows; ++i)
        r.rows << QVariantList{QStringLiteral("T%1").arg(i)};
    return r;
}

// "user:password" of each attach or services manager the layer was asked for, in order.
QStringList loginsOf(const QList<EntryList> &attempts)
{
    QStringList logins;
    for (const EntryList &entries : attempts) {
        QString user, password;
        for (const Entry &e : entries) {
            if (e.name == QLatin1String("User_Name"))
                user = e.value;
            else if (e.name == QLatin1String("Password"))
                password = e.value;
        }
        logins << user + u':' + password;
    }
    return logins;
}

TLogin loginFrom(const QString &text)
{
    return {text.section(u':', 0, 0), text.section(u':', 1)};
}

// A server whose administrator's password is certa: every other login is refused, as the
// engine refuses it.
void refuseAllBut(FakeLayer &layer, const QString &call, const QString &password = QStringLiteral("certa"))
{
    layer.fail({call, {}, dbx::VendorError, QStringLiteral("Your user name and password are not defined."), -1, 0, isc_login,
                password});
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void entryListReachingTheLayer();
    void settingProfileEntries_data();
    void settingProfileEntries();
    void connectingAnOpenConnectionSendsNothing();
    void failedAttachLeavesClosedAndRetriesWithoutReload();
    void failedLoadIsRetried_data();
    void failedLoadIsRetried();
    void layerErrorText_data();
    void layerErrorText();
    void queryFailures_data();
    void queryFailures();
    void countStatement_data();
    void countStatement();
    void countFailureReplacesTheEngineText();
    void failedExecLeavesQueryUsable();
    void readingPastTheEnd();
    void destructionDetachesQueries();
    void maxBlobSizeFromProfile_data();
    void maxBlobSizeFromProfile();
    void loginsInTheirOrder_data();
    void loginsInTheirOrder();
    void aLoginTakenServesThatServer();
    void servicesRefusedTryTheLogins();
    void aStopBetweenLoginsEndsTheConnect();
    void serverOfADatabase_data();
    void serverOfADatabase();
};

void TestConnection::entryListReachingTheLayer()
{
    FakeLayer layer;
    TSQLConnection db(layer);
    db.Params.setValue(QStringLiteral("DataBase"), QStringLiteral(" /data/loja.fb "));
    db.setConnected(true);
    QCOMPARE(db.state(), TConnectionState::csStateOpen);
    QCOMPARE(layer.connectEntries.size(), 1);

    const EntryList expected = {
        {"DriverName", "Firebird"},
        {"DataBase", "/data/loja.fb"},
        {"RoleName", "RoleName"},
        {"User_Name", "sysdba"},
        {"Password", "quokkafen"},
        {"ServerCharSet", ""},
        {"SQLDialect", "1"},
        {"ErrorResourceFile", ""},
        {"LocaleCode", "0000"},
        {"BlobSize", "-1"},
        {"CommitRetain", "False"},
        {"WaitOnLocks", "True"},
        {"IsolationLevel", "ReadCommitted"},
        {"Trim Char", "False"},
        {"DriverName", "Firebird"},
        {"VendorLib", "fbclient.dll"},
        {"LibraryName", "dbxfb.dll"},
        {"GetDriverFunc", "getSQLDriverINTERBASE"},
        // Driver defaults for the keys the profile lacks, in the driver's order.
        {"VendorLibWin64", "fbclient.dll"},
        {"LibraryNameOsx", "libsqlfb.dylib"},
        {"VendorLibOsx", "/Library/Frameworks/Firebird.framework/Firebird"},
        {"Role", "RoleName"},
        {"MaxBlobSize", "-1"},
        {"TrimChar", "False"},
    };
    const EntryList &actual = layer.connectEntries.first();
    for (int i = 0; i < std::min(actual.size(), expected.size()); ++i)
        QCOMPARE(actual[i].name + u'=' + actual[i].value, expected[i].name + u'=' + expected[i].value);
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(db.attachedDatabase(), QStringLiteral("/data/loja.fb"));
}

void TestConnection::settingProfileEntries_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("line");        // where the entry ends up, -1: gone
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");

    QTest::newRow("replace in place with the caller's key") << "DataBase" << "/x/y.fb" << 1 << "DataBase=/x/y.fb" << 14;
    QTest::newRow("append a new key") << "Extra" << "1" << 14 << "Extra=1" << 15;
    QTest::newRow("empty deletes the line") << "rolename" << "" << -1 << "" << 13;
    QTest::newRow("empty for a missing key does nothing") << "Nothing" << "" << -1 << "" << 14;
}

void TestConnection::settingProfileEntries()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, line);
    QFETCH(QString, text);
    QFETCH(int, lines);
    FakeLayer layer;
    TSQLConnection db(layer);
    QCOMPARE(db.Params.lines(), TSQLConnection::storedParams());
    db.Params.setValue(key, value);
    QCOMPARE(db.Params.lines().size(), lines);
    if (line >= 0)
        QCOMPARE(db.Params.lines().at(line), text);
    else
        QCOMPARE(db.Params.indexOfName(key), -1);
}

void TestConnection::connectingAnOpenConnectionSendsNothing()
{
    FakeLayer layer;
    TSQLConnection db(layer);
    db.setConnected(true);
    const int calls = int(layer.calls.size());
    db.Params.setValue(QStringLiteral("DataBase"), QStringLiteral("/other.fb"));
    db.setConnected(true);
    QCOMPARE(layer.calls.size(), calls);
    QCOMPARE(db.attachedDatabase(), QStringLiteral("database.fdb"));
}

void TestConnection::failedAttachLeavesClosedAndRetriesWithoutReload()
{
    FakeLayer layer;
    layer.fail({QStringLiteral("connect"), {}, 101, QStringLiteral("I/O error during \"open\" operation")});
    TSQLConnection db(layer);
    QCOMPARE(failureOf([&] { db.setConnected(true); }), QStringLiteral("I/O error during \"open\" operation"));
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
    QVERIFY2(layer.live.isEmpty(), "the half-made layer connection is released");

    db.setConnected(true);
    QVERIFY(db.Connected());
    QCOMPARE(layer.loads, 1);
    QCOMPARE(layer.connectEntries.size(), 2);
}

void TestConnection::failedLoadIsRetried_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("library missing") << "Unable to load libfake.so (ErrorCode 2).  It may be missing from the system path.";
    QTest::newRow("entry point missing") << "Unable to find procedure fb_get_master_interface";
}

void TestConnection::failedLoadIsRetried()
{
    QFETCH(QString, message);
    FakeLayer layer;
    layer.fail({QStringLiteral("load"), {}, 22, message});
    TSQLConnection db(layer);
    try {
        db.setConnected(true);
        QFAIL("the connect succeeded");
    } catch (const TDBXError &e) {
        QCOMPARE(e.message(), message);
        QCOMPARE(e.code(), 22);
    }
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
    db.setConnected(true);
    QCOMPARE(layer.loads, 2);
    QVERIFY(db.Connected());
}

void TestConnection::layerErrorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("layer text unchanged") << 101 << "Statement failed\n  table unknown\n" << "Statement failed\n  table unknown\n";
    QTest::newRow("no text: description") << 12 << "" << "DBX Error:  Invalid username or password";
    QTest::newRow("no text: no more rows") << 10 << "" << "DBX Error:  No more rows";
    QTest::newRow("no text, unknown code") << 77 << "" << "DBX Error:  Error Code:  77";
}

void TestConnection::layerErrorText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, message);
    FakeLayer layer;
    layer.fail({QStringLiteral("prepare"), {}, code, text});
    TSQLConnection db(layer);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(QStringLiteral("update t set a = 1"));
    try {
        q.ExecSQL();
        QFAIL("no failure");
    } catch (const TDBXError &e) {
        QCOMPARE(e.message(), message);
        QCOMPARE(e.code(), code);
    }
}

void TestConnection::queryFailures_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("message");
    QTest::newRow("no connection") << "unattached exec" << "SQLConnection property required for this operation";
    QTest::newRow("exec on an open query") << "exec open" << "Cannot perform this operation on an open dataset";
    QTest::newRow("exec empty") << "exec empty" << "No SQL statement available";
    QTest::newRow("open empty") << "open empty" << "Missing query, table name or procedure name";
    QTest::newRow("count empty") << "count empty" << "Missing query, table name or procedure name";
    QTest::newRow("open an update") << "open update" << "Cursor not returned from Query";
    QTest::newRow("field of a closed query") << "field closed" << "Field 'Tabela' not found";
    QTest::newRow("unknown field") << "field unknown" << "Field 'Nome' not found";
    QTest::newRow("count with distinct") << "count distinct" << "[0x0005]: Operation Not Supported";
    QTest::newRow("count without from") << "count nofrom" << "[0x0005]: Operation Not Supported";
}

void TestConnection::queryFailures()
{
    QFETCH(QString, action);
    QFETCH(QString, message);
    FakeLayer layer;
    layer.addResult(QStringLiteral("From rdb$relation_fields"), discoveryResult(2));
    TSQLConnection db(layer);
    TSQLQuery q;
    if (action != QLatin1String("unattached exec"))
        q.setSQLConnection(&db);
    const QString discovery = runtexts::discovery;
    const QString got = failureOf([&] {
        if (action == QLatin1String("unattached exec")) {
            q.SQL().setText(QStringLiteral("update t set a = 1"));
            q.ExecSQL();
        } else if (action == QLatin1String("exec open")) {
            q.SQL().setText(discovery);
            q.Open();
            q.ExecSQL();
        } else if (action == QLatin1String("exec empty")) {
            q.ExecSQL();
        } else if (action == QLatin1String("open empty")) {
            q.Open();
        } else if (action == QLatin1String("count empty")) {
            q.RecordCount();
        } else if (action == QLatin1String("open update")) {
            q.SQL().setText(QStringLiteral("update t set a = 1"));
            q.Open();
        } else if (action == QLatin1String("field closed")) {
            q.FieldByName(QStringLiteral("Tabela"));
        } else if (action == QLatin1String("field unknown")) {
            q.SQL().setText(discovery);
            q.Open();
            q.FieldByName(QStringLiteral("Nome"));
        } else if (action == QLatin1String("count distinct")) {
            q.SQL().setText(QStringLiteral("select distinct a from t"));
            q.Open();
            q.RecordCount();
        } else if (action == QLatin1String("count nofrom")) {
            q.SQL().setText(QStringLiteral("select 1"));
            q.RecordCount();
        }
    });
    QCOMPARE(got, message);
    if (action == QLatin1String("open update")) {
        QVERIFY(!q.Active());
        QCOMPARE(failureOf([&] { q.FieldByName(QStringLiteral("Tabela")); }), QStringLiteral("Field 'Tabela' not found"));
    }
}

void TestConnection::countStatement_data()
{
    QTest::addColumn<QString>("quoteEnabled");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no quote character")
        << "false" << "select count(*) from RDB$RELATION_FIELDS Where Upper(Trim(rdb$field_name)) = 'CODPROD'";
    QTest::newRow("double quote")
        << "true" << "select count(*) from \"RDB$RELATION_FIELDS\" Where Upper(Trim(rdb$field_name)) = 'CODPROD'";
}

void TestConnection::countStatement()
{
    QFETCH(QString, quoteEnabled);
    QFETCH(QString, expected);
    FakeLayer layer;
    layer.quotedIdentifiers = quoteEnabled == QLatin1String("true");
    layer.addResult(QStringLiteral("From rdb$relation_fields"), discoveryResult(3));
    layer.addResult(QStringLiteral("select count(*)"), {{QStringLiteral("COUNT")}, {{3}}});
    TSQLConnection db(layer);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(runtexts::discovery);
    q.Open();
    QCOMPARE(q.RecordCount(), 3);
    QCOMPARE(layer.statements.size(), 2);
    QCOMPARE(layer.statements.at(1), expected);
    QVERIFY2(q.Active() && !q.Eof(), "the counted result stays open on its row");

    QCOMPARE(q.RecordCount(), 3);
    QCOMPARE(layer.statements.size(), 2); // cached: no second count statement
    q.Close();
    q.Open();
    QCOMPARE(q.RecordCount(), 3);
    QCOMPARE(layer.statements.size(), 4); // a new execution counts again
}

void TestConnection::countFailureReplacesTheEngineText()
{
    FakeLayer layer;
    layer.addResult(QStringLiteral("From rdb$relation_fields"), discoveryResult(2));
    layer.fail({QStringLiteral("prepare"), QStringLiteral("count(*)"), 101, QStringLiteral("Token unknown")});
    TSQLConnection db(layer);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(runtexts::discovery);
    q.Open();
    QCOMPARE(failureOf([&] { q.RecordCount(); }), QStringLiteral("[0x0005]: Operation Not Supported"));
    QVERIFY(q.Active());
    QCOMPARE(q.FieldByName(QStringLiteral("tabela")).AsString(), QStringLiteral("T0"));
}

void TestConnection::failedExecLeavesQueryUsable()
{
    FakeLayer layer;
    layer.fail({QStringLiteral("execute"), QStringLiteral("T1"), 101, QStringLiteral("violation")});
    TSQLConnection db(layer);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(QStringLiteral("UPDATE T1 SET A = 1"));
    QCOMPARE(failureOf([&] { q.ExecSQL(); }), QStringLiteral("violation"));
    QVERIFY(db.Connected());
    q.SQL().setText(QStringLiteral("UPDATE T2 SET A = 1"));
    QCOMPARE(q.ExecSQL(), 1);
    QCOMPARE(layer.live.size(), 1); // only the connection: no command survives an execution
}

void TestConnection::readingPastTheEnd()
{
    FakeLayer layer;
    layer.addResult(QStringLiteral("From rdb$relation_fields"), discoveryResult(1));
    layer.addResult(QStringLiteral("from empty"), {{QStringLiteral("TABELA")}, {}});
    TSQLConnection db(layer);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(runtexts::discovery);
    q.Open();
    QVERIFY(!q.Eof());
    QCOMPARE(q.FieldByName(QStringLiteral("Tabela")).AsString(), QStringLiteral("T0"));
    q.Next();
    QVERIFY(q.Eof());
    QCOMPARE(q.FieldByName(QStringLiteral("Tabela")).AsString(), QString());

    q.SQL().setText(QStringLiteral("select a from empty"));
    q.Open();
    QVERIFY(q.Eof());
}

void TestConnection::destructionDetachesQueries()
{
    FakeLayer layer;
    layer.addResult(QStringLiteral("From rdb$relation_fields"), discoveryResult(2));
    TSQLQuery q;
    {
        TSQLConnection db(layer);
        q.setSQLConnection(&db);
        q.SQL().setText(runtexts::discovery);
        q.Open();
        QCOMPARE(db.queries().size(), 1);
    }
    QCOMPARE(q.SQLConnection(), nullptr);
    QVERIFY(!q.Active());
    QVERIFY2(layer.live.isEmpty(), "reader, command and connection are all released");
}

void TestConnection::maxBlobSizeFromProfile_data()
{
    QTest::addColumn<QString>("blobSize");
    QTest::addColumn<int>("expected");
    QTest::newRow("stored -1") << "-1" << -1;
    QTest::newRow("a number") << "64" << 64;
    QTest::newRow("not a number") << "lots" << -1;
}

void TestConnection::maxBlobSizeFromProfile()
{
    QFETCH(QString, blobSize);
    QFETCH(int, expected);
    FakeLayer layer;
    TSQLConnection db(layer);
    db.Params.setValue(QStringLiteral("BlobSize"), blobSize);
    TSQLQuery q;
    q.setSQLConnection(&db);
    QCOMPARE(q.MaxBlobSize(), expected);
}

void TestConnection::loginsInTheirOrder_data()
{
    QTest::addColumn<QString>("iscUser");     // "": unset
    QTest::addColumn<QString>("iscPassword");
    QTest::addColumn<QStringList>("answers"); // the source's, in turn; none once they run out
    QTest::addColumn<long>("refusal");        // the engine's code for any login but SYSDBA's "certa"
    QTest::addColumn<QStringList>("tried");   // what reached the layer, in order
    QTest::addColumn<QStringList>("asked");   // "refused login#times asked before"
    QTest::addColumn<bool>("connected");

    const QString profile = QStringLiteral("sysdba:quokkafen");
    const long login = isc_login;
    QTest::newRow("the profile's login taken: nothing else")
        << "" << "" << QStringList{"SYSDBA:certa"} << long(0) << QStringList{profile} << QStringList{} << true;
    QTest::newRow("refused: ISC_USER and ISC_PASSWORD")
        << "SYSDBA" << "certa" << QStringList{} << login << QStringList{profile, "SYSDBA:certa"} << QStringList{} << true;
    QTest::newRow("ISC_PASSWORD alone: the profile's user")
        << "" << "certa" << QStringList{} << login << QStringList{profile, "sysdba:certa"} << QStringList{} << true;
    QTest::newRow("ISC_USER alone: nothing from the environment")
        << "SYSDBA" << "" << QStringList{"SYSDBA:certa"} << login << QStringList{profile, "SYSDBA:certa"}
        << QStringList{profile + "#0"} << true;
    QTest::newRow("refused: asked, the answer taken")
        << "" << "" << QStringList{"SYSDBA:certa"} << login << QStringList{profile, "SYSDBA:certa"} << QStringList{profile + "#0"}
        << true;
    QTest::newRow("ISC_* refused too, then asked")
        << "ADMIN" << "errada" << QStringList{"SYSDBA:certa"} << login << QStringList{profile, "ADMIN:errada", "SYSDBA:certa"}
        << QStringList{"ADMIN:errada#0"} << true;
    QTest::newRow("asked again after a wrong answer")
        << "" << "" << QStringList{"SYSDBA:errada", "SYSDBA:certa"} << login
        << QStringList{profile, "SYSDBA:errada", "SYSDBA:certa"} << QStringList{profile + "#0", "SYSDBA:errada#1"} << true;
    QTest::newRow("nothing given: the refusal stands")
        << "" << "" << QStringList{} << login << QStringList{profile} << QStringList{profile + "#0"} << false;
    QTest::newRow("the refused login given again: not tried again")
        << "" << "" << QStringList{"SYSDBA:errada", "SYSDBA:errada"} << login << QStringList{profile, "SYSDBA:errada"}
        << QStringList{profile + "#0", "SYSDBA:errada#1"} << false;
    QTest::newRow("a name longer than Firebird's: not sent")
        << "" << "" << QStringList{QString(32, u'A') + ":certa"} << login << QStringList{profile} << QStringList{profile + "#0"}
        << false;
    QTest::newRow("ISC_* the profile's own: tried once")
        << "sysdba" << "quokkafen" << QStringList{} << login << QStringList{profile} << QStringList{profile + "#0"} << false;
    QTest::newRow("another failure than a login's: no other login")
        << "SYSDBA" << "certa" << QStringList{"SYSDBA:certa"} << long(isc_network_error) << QStringList{profile} << QStringList{}
        << false;
}

void TestConnection::loginsInTheirOrder()
{
    QFETCH(QString, iscUser);
    QFETCH(QString, iscPassword);
    QFETCH(QStringList, answers);
    QFETCH(long, refusal);
    QFETCH(QStringList, tried);
    QFETCH(QStringList, asked);
    QFETCH(bool, connected);
    const IscEnvironment env(iscUser, iscPassword);
    FakeLayer layer;
    if (refusal != 0)
        layer.fail({QStringLiteral("connect"), {}, dbx::VendorError, QStringLiteral("refused"), -1, 0, refusal,
                    QStringLiteral("certa")});
    TSQLConnection db(layer);
    db.Params.setValue(QStringLiteral("DataBase"), QStringLiteral("servidor:/dados/loja.fb"));
    QStringList seen;
    db.logins().setSource([&](const QString &database, const TLogin &refused, int before) -> std::optional<TLogin> {
        [&] { QCOMPARE(database, QStringLiteral("servidor:/dados/loja.fb")); }();
        seen << refused.user + u':' + refused.password + u'#' + QString::number(before);
        if (answers.isEmpty())
            return std::nullopt;
        return loginFrom(answers.takeFirst());
    });
    if (connected) {
        db.setConnected(true);
        QVERIFY(db.Connected());
    } else {
        try {
            db.setConnected(true);
            QFAIL("the connect succeeded");
        } catch (const TDBXError &e) {
            // The last refusal, as the engine gave it: its code says what advice to give.
            QVERIFY(e.hasEngineCode(refusal));
        }
        QCOMPARE(db.state(), TConnectionState::csStateClosed);
    }
    QCOMPARE(loginsOf(layer.connectEntries), tried);
    QCOMPARE(seen, asked);
    QVERIFY2(layer.live.size() == (connected ? 1 : 0), "the refused attaches left nothing behind");
}

void TestConnection::aLoginTakenServesThatServer()
{
    const IscEnvironment env({}, {});
    FakeLayer layer;
    refuseAllBut(layer, QStringLiteral("connect"));
    refuseAllBut(layer, QStringLiteral("services"));
    TSQLConnection db(layer);
    int asked = 0;
    db.logins().setSource([&](const QString &, const TLogin &, int) {
        ++asked;
        return std::optional<TLogin>({QStringLiteral("SYSDBA"), QStringLiteral("certa")});
    });
    db.Params.setValue(QStringLiteral("DataBase"), QStringLiteral("servidor:/dados/loja.fb"));
    db.setConnected(true);
    // The server's services manager and its next attach, even by another name of the server's
    // and by another connection of the same run: the login it took, once, without asking again.
    db.services(QStringLiteral("SERVIDOR:/dados/loja.fb"));
    db.setConnected(false);
    db.Params.setValue(QStringLiteral("DataBase"), QStringLiteral("servidor:/dados/outra.fb"));
    db.setConnected(true);
    TSQLConnection other(layer);
    other.shareLogins(std::shared_ptr<TLogins>(&db.logins(), [](TLogins *) {}));
    other.Params.setValue(QStringLiteral("DataBase"), QStringLiteral("servidor:/dados/loja.fb"));
    other.setConnected(true);
    QCOMPARE(asked, 1);
    QCOMPARE(loginsOf(layer.connectEntries),
             (QStringList{"sysdba:quokkafen", "SYSDBA:certa", "SYSDBA:certa", "SYSDBA:certa"}));
    QCOMPARE(loginsOf(layer.servicesEntries), QStringList{"SYSDBA:certa"});

    // Another server starts from the profile's.
    layer.connectEntries.clear();
    other.setConnected(false);
    other.Params.setValue(QStringLiteral("DataBase"), QStringLiteral("/dados/local.fb"));
    try {
        other.setConnected(true);
    } catch (const TDBXError &) {
    }
    QCOMPARE(loginsOf(layer.connectEntries).value(0), QStringLiteral("sysdba:quokkafen"));
}

void TestConnection::servicesRefusedTryTheLogins()
{
    // A services manager the profile's login does not open, with no attach before it (an unlock
    // of a database shut down for everyone).
    const IscEnvironment env(QStringLiteral("ADMIN"), QStringLiteral("errada"));
    FakeLayer layer;
    refuseAllBut(layer, QStringLiteral("services"));
    TSQLConnection db(layer);
    QStringList seen;
    db.logins().setSource([&](const QString &database, const TLogin &refused, int) {
        seen << database + u' ' + refused.user;
        return std::optional<TLogin>({QStringLiteral("SYSDBA"), QStringLiteral("certa")});
    });
    QVERIFY(db.services(QStringLiteral("localhost:/dados/loja.fb")) != nullptr);
    QCOMPARE(loginsOf(layer.servicesEntries), (QStringList{"sysdba:quokkafen", "ADMIN:errada", "SYSDBA:certa"}));
    QCOMPARE(seen, QStringList{"localhost:/dados/loja.fb ADMIN"});
    QCOMPARE(db.logins().accepted(QStringLiteral("/dados/loja.fb")), (TLogin{"SYSDBA", "certa"}));
}

void TestConnection::aStopBetweenLoginsEndsTheConnect()
{
    // A stop that comes while the user is asked (the window closed): the login given is not
    // tried, and the connect ends as an attach given up.
    const IscEnvironment env({}, {});
    FakeLayer layer;
    refuseAllBut(layer, QStringLiteral("connect"));
    TSQLConnection db(layer);
    db.logins().setSource([&](const QString &, const TLogin &, int) {
        db.cancel(dbx::Cancel::Raise);
        return std::optional<TLogin>({QStringLiteral("SYSDBA"), QStringLiteral("certa")});
    });
    QCOMPARE(failureOf([&] { db.setConnected(true); }), QStringLiteral("Conexão abandonada antes de se completar"));
    QCOMPARE(layer.connectEntries.size(), 1);
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
    // The next connect is not stopped by it.
    db.logins().setSource([&](const QString &, const TLogin &, int) {
        return std::optional<TLogin>({QStringLiteral("SYSDBA"), QStringLiteral("certa")});
    });
    db.setConnected(true);
    QVERIFY(db.Connected());
}

void TestConnection::serverOfADatabase_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("server");
    QTest::newRow("a path here") << "/dados/loja.fb" << "localhost";
    QTest::newRow("localhost") << "localhost:/dados/loja.fb" << "localhost";
    QTest::newRow("127.0.0.1") << "127.0.0.1:/dados/loja.fb" << "localhost";
    QTest::newRow("a port here") << "127.0.0.1/3051:/dados/loja.fb" << "localhost/3051";
    QTest::newRow("a host, any case") << "Servidor:/dados/loja.fb" << "servidor";
    QTest::newRow("a host and port") << "servidor/3051:/dados/loja.fb" << "servidor/3051";
    QTest::newRow("an alias") << "servidor:loja" << "servidor";
    QTest::newRow("a URL") << "inet://servidor:3051/dados/loja.fb" << "servidor/3051";
}

void TestConnection::serverOfADatabase()
{
    QFETCH(QString, database);
    QFETCH(QString, server);
    QCOMPARE(TLogins::serverOf(database), server);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
