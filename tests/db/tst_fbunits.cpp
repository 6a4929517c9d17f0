// The Firebird layer's units on their own: the handle classes and value decoding on the real
// embedded engine, the connection options, and the engine's compatibility rules.
#include "filenames.h"
#include "location.h"
#include "errors.h"
#include "fbapi.h"
#include "fbclientlayer.h"
#include "fbhandles.h"
#include "fboptions.h"
#include "fbvalue.h"
#include "tempdb.h"

#include <QtTest>

namespace {

const char *schema = R"(
CREATE TABLE T (ID INTEGER, CODPROD VARCHAR(10));
INSERT INTO T VALUES (1, '1234567');
INSERT INTO T VALUES (2, '7654321');
)";

// An attachment to file with the tool's own options (dialect 1, SYSDBA).
fb::Attachment attach(const FbApi &api, const QString &file)
{
    fb::ConnectOptions options;
    options.database = file;
    options.user = QStringLiteral("SYSDBA");
    options.password = QStringLiteral("x");
    options.dialect = 1;
    fb::Attachment a(api);
    a.attach(file.toUtf8(), options.dpb(file));
    return a;
}

const std::string tpb = fb::ConnectOptions().tpb();

// The first column of every row of sql, through a statement of its own.
QStringList column(const FbApi &api, fb::Attachment &a, const QString &sql)
{
    fb::Transaction t(api);
    t.start(a, tpb);
    fb::Statement s(api);
    fb::ResultArea out;
    s.prepare(a, t, sql.toUtf8(), 1, out);
    s.open(t, out);
    QStringList values;
    while (s.fetch(out)) {
        const dbx::Value v = fb::decode(out, 0, [&](const ISC_QUAD &id) { return a.readBlob(t, id); });
        values << (v.null ? QStringLiteral("<null>") : QString::fromUtf8(v.text));
    }
    return values;
}

// Runs a statement that returns no rows.
void run(const FbApi &api, fb::Attachment &a, fb::Transaction &t, const char *sql)
{
    fb::Statement s(api);
    fb::ResultArea none;
    s.prepare(a, t, sql, 1, none);
    s.execute(t);
}

int attachments(const FbApi &api, fb::Attachment &observer)
{
    return column(api, observer, QStringLiteral("select count(*) from mon$attachments where mon$system_flag = 0"))
        .value(0)
        .toInt();
}

} // namespace

class TestFbUnits : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void attachmentDetachesWhenItGoes();
    void transactionRollsBackWhenItGoes_data();
    void transactionRollsBackWhenItGoes();
    void statementAcrossAMove();
    void engineErrorKeepsTextAndCodes();
    void libraryThatCannotBeLoaded_data();
    void libraryThatCannotBeLoaded();
    void decoding_data();
    void decoding();
    void whereADatabaseIs_data();
    void whereADatabaseIs();
    void sizeOfAFile();
    void options_data();
    void options();
    void valuesTooLongAreRefused_data();
    void valuesTooLongAreRefused();
    void engineOnly();

private:
    TempDatabases dbs_;
    const FbApi *api_ = nullptr;
    QString file_;
};

void TestFbUnits::initTestCase()
{
    QVERIFY(dbs_.isValid());
    api_ = &fbclient::load(QStringLiteral("libfbclient.so.2"));
    file_ = dbs_.create(QStringLiteral("units.fb"), QString::fromLatin1(schema));
    QVERIFY2(!file_.isEmpty(), qPrintable(dbs_.lastError()));
}

void TestFbUnits::attachmentDetachesWhenItGoes()
{
    fb::Attachment observer = attach(*api_, file_);
    const int alone = attachments(*api_, observer);
    {
        fb::Attachment a = attach(*api_, file_);
        QCOMPARE(attachments(*api_, observer), alone + 1);
        fb::Attachment moved(std::move(a));
        QVERIFY(!a.attached());
        QVERIFY(moved.attached());
        QCOMPARE(attachments(*api_, observer), alone + 1); // a move detaches nothing
        fb::Attachment other = attach(*api_, file_);
        QCOMPARE(attachments(*api_, observer), alone + 2);
        other = std::move(moved); // assigning over an attachment detaches it
        QCOMPARE(attachments(*api_, observer), alone + 1);
    }
    QCOMPARE(attachments(*api_, observer), alone);
}

void TestFbUnits::transactionRollsBackWhenItGoes_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("kept"); // rows of its insert still there afterwards
    QTest::newRow("destroyed") << "destroyed" << 0;
    QTest::newRow("assigned over") << "assigned" << 0;
    QTest::newRow("committed") << "committed" << 1;
}

void TestFbUnits::transactionRollsBackWhenItGoes()
{
    QFETCH(QString, end);
    QFETCH(int, kept);
    fb::Attachment a = attach(*api_, file_);
    {
        fb::Transaction t(*api_);
        t.start(a, tpb);
        run(*api_, a, t, "insert into T values (99, 'novo')");
        if (end == QLatin1String("assigned")) {
            fb::Transaction fresh(*api_);
            fresh.start(a, tpb);
            t = std::move(fresh);
            QVERIFY(t.active());
        } else if (end == QLatin1String("committed")) {
            t.commit();
            QVERIFY(!t.active());
        }
    }
    const QStringList rows = column(*api_, a, QStringLiteral("select count(*) from T where ID = 99"));
    QCOMPARE(rows, QStringList{QString::number(kept)});
    fb::Transaction cleanup(*api_);
    cleanup.start(a, tpb);
    run(*api_, a, cleanup, "delete from T where ID = 99");
    cleanup.commit();
}

void TestFbUnits::statementAcrossAMove()
{
    fb::Attachment a = attach(*api_, file_);
    fb::Transaction t(*api_);
    t.start(a, tpb);
    fb::Statement s(*api_);
    fb::ResultArea out;
    s.prepare(a, t, "select CODPROD from T order by ID", 1, out);
    QCOMPARE(s.type(), int(isc_info_sql_stmt_select));
    fb::Statement moved(std::move(s));
    moved.open(t, out);
    QVERIFY(moved.fetch(out));
    QCOMPARE(fb::decode(out, 0, {}).text, QByteArray("1234567"));
    QVERIFY(moved.fetch(out));
    QVERIFY(!moved.fetch(out));
    moved.closeCursor();

    fb::Statement update(*api_);
    fb::ResultArea none;
    update.prepare(a, t, "update T set CODPROD = CODPROD", 1, none);
    QCOMPARE(none.columns(), 0);
    update.execute(t);
    QCOMPARE(update.rowsAffected(), 2);
}

void TestFbUnits::engineErrorKeepsTextAndCodes()
{
    fb::Attachment a = attach(*api_, file_);
    fb::Transaction t(*api_);
    t.start(a, tpb);
    try {
        run(*api_, a, t, "update NAO_EXISTE set X = 1");
        QFAIL("the engine took an unknown table");
    } catch (const TDBXError &e) {
        QCOMPARE(e.code(), int(dbx::VendorError));
        QVERIFY2(e.message().contains(QLatin1String("Table unknown\nNAO_EXISTE")), qPrintable(e.message()));
        QCOMPARE(e.engineCode(), long(isc_dsql_error));
        QVERIFY(e.hasEngineCode(isc_dsql_relation_err));
    }
}

void TestFbUnits::libraryThatCannotBeLoaded_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "libconversor-nenhuma.so.9"
                             << "Unable to load libconversor-nenhuma.so.9 (ErrorCode 2).  It may be missing from the system path.";
    QTest::newRow("not the client library") << "libz.so.1" << "Unable to find procedure fb_interpret";
}

void TestFbUnits::libraryThatCannotBeLoaded()
{
    QFETCH(QString, library);
    QFETCH(QString, message);
    FbClientLayer layer(library);
    for (int attempt = 0; attempt < 2; ++attempt) { // nothing stays loaded: the second fails alike
        try {
            layer.load();
            QFAIL("loaded");
        } catch (const TDBXError &e) {
            QCOMPARE(e.message(), message);
            QCOMPARE(e.code(), 22);
        }
    }
}

void TestFbUnits::decoding_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("text");   // "<null>" for NULL, "<unsupported>" for a refused type
    QTest::addColumn<bool>("isInteger");
    QTest::newRow("char keeps its pad") << "cast('ab' as char(4))" << "ab  " << false;
    QTest::newRow("varchar") << "cast('abc' as varchar(9))" << "abc" << false;
    QTest::newRow("accented bytes") << "cast(x'C7E3' as varchar(4) character set octets)" << QString::fromLatin1("\xC7\xE3") << false;
    QTest::newRow("smallint") << "cast(-7 as smallint)" << "-7" << true;
    QTest::newRow("integer") << "cast(2147483647 as integer)" << "2147483647" << true;
    QTest::newRow("numeric") << "cast(-12.5 as numeric(9,2))" << "-12.50" << false;
    QTest::newRow("numeric below one") << "cast(0.05 as numeric(9,2))" << "0.05" << false;
    QTest::newRow("null") << "cast(null as integer)" << "<null>" << false;
    QTest::newRow("double") << "cast(1.5 as double precision)" << "<unsupported>" << false;
    QTest::newRow("date") << "cast('2026-12-10' as date)" << "<unsupported>" << false;
    QTest::newRow("text blob") << "cast('longo ' || lpad('', 20000, 'x') as blob sub_type text)"
                               << "longo " + QString(20000, u'x') << false;
    QTest::newRow("binary blob") << "cast('ab' as blob sub_type binary)" << "<unsupported>" << false;
}

void TestFbUnits::decoding()
{
    QFETCH(QString, expression);
    QFETCH(QString, text);
    QFETCH(bool, isInteger);
    fb::Attachment a = attach(*api_, file_);
    fb::Transaction t(*api_);
    t.start(a, tpb);
    fb::Statement s(*api_);
    fb::ResultArea out;
    s.prepare(a, t, ("select " + expression + " from rdb$database").toUtf8(), 1, out);
    s.open(t, out);
    QVERIFY(s.fetch(out));
    try {
        const dbx::Value v = fb::decode(out, 0, [&](const ISC_QUAD &id) { return a.readBlob(t, id); });
        QCOMPARE(v.null ? QStringLiteral("<null>") : QString::fromLatin1(v.text), text);
        QCOMPARE(v.isInteger, isInteger);
        if (isInteger)
            QCOMPARE(QByteArray::number(v.integer), v.text);
    } catch (const TDBXError &e) {
        QCOMPARE(QStringLiteral("<unsupported>"), text);
        QCOMPARE(e.message(), QStringLiteral("DBX Error:  Unsupported field type"));
    }
}

void TestFbUnits::options_data()
{
    QTest::addColumn<QStringList>("entries"); // "key=value"
    QTest::addColumn<QString>("role");
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("repeatable");
    QTest::addColumn<bool>("wait");
    QTest::addColumn<int>("timeout"); // seconds a server has to answer
    QTest::newRow("the tool's profile") << QStringList{"RoleName=RoleName", "SQLDialect=1", "WaitOnLocks=True",
                                                       "IsolationLevel=ReadCommitted", "Role=Other", "SQLDialect=3"}
                                        << "RoleName" << 1 << false << true << 15;
    QTest::newRow("keys in any case") << QStringList{"sqldialect=1", "WAITONLOCKS=false", "isolationlevel=repeatableread",
                                                     "connecttimeout=2"}
                                      << "" << 1 << true << false << 2;
    QTest::newRow("role from the driver's default") << QStringList{"Role=RoleName"} << "RoleName" << 3 << false << true << 15;
    QTest::newRow("a dialect out of range") << QStringList{"SQLDialect=4", "ConnectTimeout=0"} << "" << 3 << false << true << 15;
    QTest::newRow("a dialect that is no number") << QStringList{"SQLDialect=um", "ConnectTimeout=x"} << "" << 3 << false
                                                 << true << 15;
}

void TestFbUnits::options()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, role);
    QFETCH(int, dialect);
    QFETCH(bool, repeatable);
    QFETCH(bool, wait);
    QFETCH(int, timeout);
    dbx::EntryList list;
    for (const QString &e : entries)
        list.append({e.section(u'=', 0, 0), e.section(u'=', 1)});
    const fb::ConnectOptions o = fb::ConnectOptions::parse(list);
    QCOMPARE(o.role, role);
    QCOMPARE(o.dialect, dialect);
    QCOMPARE(o.repeatableRead, repeatable);
    QCOMPARE(o.waitOnLocks, wait);
    // The blocks carry them: the attachment's as tagged values, the lock policy last.
    const std::string dpb = o.dpb(QStringLiteral("/dados/loja.fb"));
    QMap<int, QByteArray> tagged;
    QCOMPARE(int(dpb.at(0)), int(isc_dpb_version1));
    for (std::size_t i = 1; i + 1 < dpb.size(); i += 2 + std::size_t(uchar(dpb[i + 1])))
        tagged.insert(uchar(dpb[i]), QByteArray(dpb.data() + i + 2, uchar(dpb[i + 1])));
    auto integer = [&](int tag) {
        const QByteArray v = tagged.value(tag);
        return v.size() == 4 ? int(uchar(v[0]) | uchar(v[1]) << 8 | uchar(v[2]) << 16 | uchar(v[3]) << 24) : -1;
    };
    QCOMPARE(integer(isc_dpb_sql_dialect), dialect);
    QCOMPARE(integer(isc_dpb_connect_timeout), timeout);
    QCOMPARE(o.connectTimeout, timeout);
    QCOMPARE(o.tpb().back(), char(wait ? isc_tpb_wait : isc_tpb_nowait));
    QCOMPARE(o.tpb().find(char(isc_tpb_concurrency)) != std::string::npos, repeatable);
}

void TestFbUnits::valuesTooLongAreRefused_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("said");
    QTest::newRow("a password") << "Password" << "A senha tem 256 bytes, e o Firebird aceita no máximo 255.";
    QTest::newRow("a user") << "User_Name" << "O nome do usuário tem 256 bytes, e o Firebird aceita no máximo 255.";
    QTest::newRow("a role") << "RoleName" << "O papel (role) tem 256 bytes, e o Firebird aceita no máximo 255.";
}

void TestFbUnits::valuesTooLongAreRefused()
{
    // A value cut to the block's 255 bytes would be another password or user, refused by the
    // engine for a reason nobody could see: it is refused, saying which.
    QFETCH(QString, key);
    QFETCH(QString, said);
    const fb::ConnectOptions fits = fb::ConnectOptions::parse({{key, QString(255, u'a')}});
    QVERIFY(fits.dpb(QStringLiteral("/dados/loja.fb")).find(std::string(255, 'a')) != std::string::npos);
    const fb::ConnectOptions o = fb::ConnectOptions::parse({{key, QString(256, u'a')}});
    try {
        o.dpb(QStringLiteral("/dados/loja.fb"));
        QFAIL("a value of 256 bytes went into the block");
    } catch (const TDBXError &e) {
        QCOMPARE(e.message(), said);
    }
}

void TestFbUnits::engineOnly()
{
    // Only a path the embedded engine must open itself names the engine alone in the block.
    fb::ConnectOptions o;
    const QByteArray named("Providers = Engine12");
    auto blockOf = [&] {
        const std::string dpb = o.dpb(QStringLiteral("/dados/loja.fb"));
        return QByteArray(dpb.data(), qsizetype(dpb.size()));
    };
    QVERIFY(!blockOf().contains(named));
    o.engineOnly = true;
    QVERIFY(blockOf().contains(char(isc_dpb_config) + (char(named.size()) + named)));
}

QTEST_GUILESS_MAIN(TestFbUnits)
void TestFbUnits::whereADatabaseIs_data()
{
    QTest::addColumn<QString>("database");   // as given, or as the engine attached it
    QTest::addColumn<QString>("reported");   // the file as the server said it opened it ("": not known)
    QTest::addColumn<QString>("host");       // "": no server named
    QTest::addColumn<bool>("thisComputer");  // the server named is this computer's
    QTest::addColumn<QString>("localFile");  // "": not a file this program reaches directly
    QTest::addColumn<QString>("serverFile");
    QTest::addColumn<QString>("sibling");    // a copy's name beside it, as the server sees it
    QTest::addColumn<QString>("onSameServer"); // that copy as a database string
    QTest::addColumn<QString>("manager");
    QTest::newRow("a path") << "/dados/loja.fb" << "" << "" << false << "/dados/loja.fb" << "/dados/loja.fb"
                            << "/dados/loja.copia-1.nbk" << "/dados/loja.copia-1.nbk" << "service_mgr";
    QTest::newRow("this computer's server") << "localhost:/dados/loja.fb" << "" << "localhost" << true << "/dados/loja.fb"
                                            << "/dados/loja.fb" << "/dados/loja.copia-1.nbk"
                                            << "localhost:/dados/loja.copia-1.nbk" << "localhost:service_mgr";
    QTest::newRow("this computer's server, a port") << "localhost/3051:/dados/loja.fb" << "" << "localhost/3051" << true
                                                    << "/dados/loja.fb" << "/dados/loja.fb" << "/dados/loja.copia-1.nbk"
                                                    << "localhost/3051:/dados/loja.copia-1.nbk" << "localhost/3051:service_mgr";
    QTest::newRow("this computer by its address") << "127.0.0.1:/dados/loja.fb" << "" << "127.0.0.1" << true << "/dados/loja.fb"
                                                  << "/dados/loja.fb" << "/dados/loja.copia-1.nbk"
                                                  << "127.0.0.1:/dados/loja.copia-1.nbk" << "127.0.0.1:service_mgr";
    // Host names are not case-sensitive.
    QTest::newRow("this computer, in capitals") << "LOCALHOST:/dados/loja.fb" << "" << "LOCALHOST" << true << "/dados/loja.fb"
                                                << "/dados/loja.fb" << "/dados/loja.copia-1.nbk"
                                                << "LOCALHOST:/dados/loja.copia-1.nbk" << "LOCALHOST:service_mgr";
    // A link the server followed: the file chosen is the link (a swap is seen there), the copy
    // goes beside the file the server opened.
    QTest::newRow("a link this computer's server followed")
        << "localhost:/home/ana/loja.fb" << "/srv/dados/loja.fb" << "localhost" << true << "/home/ana/loja.fb"
        << "/srv/dados/loja.fb" << "/srv/dados/loja.copia-1.nbk" << "localhost:/srv/dados/loja.copia-1.nbk"
        << "localhost:service_mgr";
    QTest::newRow("another computer's server") << "servidor:/dados/loja.fb" << "" << "servidor" << false << ""
                                               << "/dados/loja.fb" << "/dados/loja.copia-1.nbk"
                                               << "servidor:/dados/loja.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("another computer, a port") << "10.0.0.5/3051:/dados/loja.fb" << "" << "10.0.0.5/3051" << false << ""
                                              << "/dados/loja.fb" << "/dados/loja.copia-1.nbk"
                                              << "10.0.0.5/3051:/dados/loja.copia-1.nbk" << "10.0.0.5/3051:service_mgr";
    // An alias has no folder of its own until the server says which file it is.
    QTest::newRow("an alias") << "servidor:loja" << "" << "servidor" << false << "" << "loja" << "loja.copia-1.nbk"
                              << "servidor:loja.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("an alias the server resolved") << "servidor:loja" << "/srv/dados/loja.fdb" << "servidor" << false << ""
                                                  << "/srv/dados/loja.fdb" << "/srv/dados/loja.copia-1.nbk"
                                                  << "servidor:/srv/dados/loja.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("an alias echoed, not resolved") << "servidor:loja" << "loja" << "servidor" << false << "" << "loja"
                                                   << "loja.copia-1.nbk" << "servidor:loja.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("an alias of this computer's server") << "localhost:loja" << "/var/lib/firebird/data/loja.fdb" << "localhost"
                                                        << true << "" << "/var/lib/firebird/data/loja.fdb"
                                                        << "/var/lib/firebird/data/loja.copia-1.nbk"
                                                        << "localhost:/var/lib/firebird/data/loja.copia-1.nbk"
                                                        << "localhost:service_mgr";
    QTest::newRow("an alias alone") << "loja" << "" << "" << false << "" << "loja" << "loja.copia-1.nbk" << "loja.copia-1.nbk"
                                    << "service_mgr";
    // A Windows server's path, in its own separators; a drive letter is no host.
    QTest::newRow("a Windows server") << "servidor:C:\\dados\\loja.fdb" << "" << "servidor" << false << ""
                                      << "C:\\dados\\loja.fdb" << "C:\\dados\\loja.copia-1.nbk"
                                      << "servidor:C:\\dados\\loja.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("a Windows server that resolved an alias")
        << "servidor:loja" << "D:\\firebird\\loja.fdb" << "servidor" << false << "" << "D:\\firebird\\loja.fdb"
        << "D:\\firebird\\loja.copia-1.nbk" << "servidor:D:\\firebird\\loja.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("a drive letter alone") << "C:\\dados\\loja.fdb" << "" << "" << false << "" << "C:\\dados\\loja.fdb"
                                          << "C:\\dados\\loja.copia-1.nbk" << "C:\\dados\\loja.copia-1.nbk" << "service_mgr";
    QTest::newRow("a drive letter with slashes") << "C:/dados/loja.fdb" << "" << "" << false << "" << "C:/dados/loja.fdb"
                                                 << "C:/dados/loja.copia-1.nbk" << "C:/dados/loja.copia-1.nbk" << "service_mgr";
    // Only the last suffix goes: the copy keeps the rest of the name.
    QTest::newRow("dots in the name") << "servidor:/dados/loja.2026.fb" << "" << "servidor" << false << ""
                                      << "/dados/loja.2026.fb" << "/dados/loja.2026.copia-1.nbk"
                                      << "servidor:/dados/loja.2026.copia-1.nbk" << "servidor:service_mgr";
    QTest::newRow("a colon in a path") << "/dados/loja:2026.fb" << "" << "" << false << "/dados/loja:2026.fb"
                                       << "/dados/loja:2026.fb" << "/dados/loja:2026.copia-1.nbk"
                                       << "/dados/loja:2026.copia-1.nbk" << "service_mgr";
}

void TestFbUnits::whereADatabaseIs()
{
    QFETCH(QString, database);
    QFETCH(QString, reported);
    QFETCH(QString, host);
    QFETCH(bool, thisComputer);
    QFETCH(QString, localFile);
    QFETCH(QString, serverFile);
    QFETCH(QString, sibling);
    QFETCH(QString, onSameServer);
    QFETCH(QString, manager);
    const DatabaseLocation where = DatabaseLocation::attached(database, reported);
    QCOMPARE(where.database(), database);
    QCOMPARE(where.host(), host);
    QCOMPARE(where.viaServer(), !host.isEmpty());
    QCOMPARE(where.thisComputersServer(), thisComputer);
    QCOMPARE(where.localFile(), localFile);
    QCOMPARE(where.serverFile(), serverFile);
    QCOMPARE(where.folder() + where.stem() + QStringLiteral(".copia-1.nbk"), sibling);
    QCOMPARE(where.sibling(QStringLiteral(".copia-1.nbk")), sibling);
    QCOMPARE(where.onSameServer(where.sibling(QStringLiteral(".copia-1.nbk"))), onSameServer);
    QCOMPARE(where.serviceManager(), manager);
    // A server's string goes to the server as given; a path, to this computer's.
    QCOMPARE(where.throughServer(), host.isEmpty() ? QStringLiteral("localhost:") + database : database);
    // What the user gave, before anything is attached, is read the same way but for the report.
    const DatabaseLocation given(database);
    QCOMPARE(given.host(), host);
    QCOMPARE(given.localFile(), localFile);
    if (reported.isEmpty())
        QCOMPARE(given.serverFile(), serverFile);
}

void TestFbUnits::sizeOfAFile()
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("cópia.fb")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(QByteArray(1234, 'x')), qint64(1234));
    f.close();
    QCOMPARE(filenames::sizeOf(f.fileName()), qint64(1234));
    QCOMPARE(filenames::sizeOf(dir.filePath(QStringLiteral("nenhum.fb"))), qint64(-1));
    QCOMPARE(filenames::sizeOf(QString()), qint64(-1));
    // A relative name is no file of ours, even where one of that name is here.
    const QString before = QDir::currentPath();
    auto back = qScopeGuard([&] { QDir::setCurrent(before); });
    QVERIFY(QDir::setCurrent(dir.path()));
    QCOMPARE(filenames::sizeOf(QStringLiteral("cópia.fb")), qint64(-1));
}

#include "tst_fbunits.moc"
