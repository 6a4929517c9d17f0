// The safety copy: its name, the room it asks for, the copy on each kind of filesystem, a copy
// taken under the engine's backup lock and its fix-up, and what a stop or a failure leaves.
// Small filesystems are mounted in the test's own folder, in a mount namespace of this
// process: they go with it however it ends, and no other process sees them.
#include "dbread.h"
#include "errors.h"
#include "location.h"
#include "safetycopy.h"
#include "recordingview.h"
#include "check.h"
#include "conversion.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "tempdb.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <memory>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef __NR_cachestat
#define __NR_cachestat 451
#endif

namespace {

constexpr qint64 MiB = 1024 * 1024;

QString noMounts; // why this process cannot mount, empty when it can

// Gives the process mounts of its own; must run before any thread starts.
void takePrivateMounts()
{
    if (::geteuid() != 0)
        noMounts = QStringLiteral("mounting a small filesystem needs root");
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        noMounts = QStringLiteral("no mount namespace of the test's own: ") + QString::fromLocal8Bit(std::strerror(errno));
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool run(const QString &program, const QStringList &args, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    *output = program + u' ' + args.join(u' ') + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll()) + p.errorString();
    return ok;
}

// A filesystem mounted on a new folder, unmounted and the folder removed when it goes.
class Mount {
public:
    enum Kind { Tmpfs, ReadOnly, Xfs, Ext4 };
    // The mount, or null with why: skip is set when this machine cannot mount at all.
    static std::unique_ptr<Mount> make(const QString &folder, Kind kind, qint64 bytes, QString *why, bool *skip)
    {
        *skip = !noMounts.isEmpty();
        if (*skip) {
            *why = noMounts;
            return nullptr;
        }
        if (!QDir().mkpath(folder)) {
            *why = QStringLiteral("cannot make ") + folder;
            return nullptr;
        }
        std::unique_ptr<Mount> m(new Mount(folder));
        const QByteArray target = QFile::encodeName(folder);
        if (kind == Tmpfs || kind == ReadOnly) {
            const QByteArray size = "size=" + QByteArray::number(bytes);
            if (::mount("tmpfs", target.constData(), "tmpfs", kind == ReadOnly ? MS_RDONLY : 0, size.constData()) != 0) {
                *why = QStringLiteral("mount tmpfs: ") + systemReason(errno);
                return nullptr;
            }
        } else {
            // An image file beside the folder, loop-mounted; the loop device goes with the mount.
            m->image_ = folder + QStringLiteral(".img");
            QFile image(m->image_);
            const QString mkfs = kind == Xfs ? QStringLiteral("mkfs.xfs") : QStringLiteral("mkfs.ext4");
            if (QStandardPaths::findExecutable(mkfs, {"/usr/sbin", "/sbin"}).isEmpty()) {
                *skip = true;
                *why = mkfs + QStringLiteral(" is not installed (scripts/setup --test installs it)");
                return nullptr;
            }
            QFile known(QStringLiteral("/proc/filesystems"));
            const QByteArray type = kind == Xfs ? "xfs" : "ext4";
            if (known.open(QIODevice::ReadOnly) && !known.readAll().split('\n').contains('\t' + type)) {
                *skip = true;
                *why = QStringLiteral("this kernel mounts no ") + QString::fromLatin1(type);
                return nullptr;
            }
            if (!image.open(QIODevice::WriteOnly) || !image.resize(bytes)) {
                *why = QStringLiteral("image: ") + image.errorString();
                return nullptr;
            }
            image.close();
            const QStringList options = kind == Xfs ? QStringList{"-q", "-m", "reflink=1"} : QStringList{"-q", "-F"};
            if (!run(mkfs, options + QStringList{m->image_}, why) || !run("mount", {"-o", "loop", m->image_, folder}, why))
                return nullptr;
        }
        m->mounted_ = true;
        return m;
    }
    ~Mount()
    {
        const QByteArray target = QFile::encodeName(path);
        if (mounted_ && ::umount2(target.constData(), 0) != 0)
            ::umount2(target.constData(), MNT_DETACH);
        ::rmdir(target.constData());
        if (!image_.isEmpty())
            QFile::remove(image_);
    }
    Mount(const Mount &) = delete;
    Mount &operator=(const Mount &) = delete;

    const QString path;

private:
    explicit Mount(QString folder) : path(std::move(folder)) {}
    QString image_;
    bool mounted_ = false;
};

#define MOUNT(var, folder, kind, bytes)                                                                      \
    QString var##Why;                                                                                        \
    bool var##Skip = false;                                                                                  \
    std::unique_ptr<Mount> var = Mount::make(folder, kind, bytes, &var##Why, &var##Skip);                    \
    if (!var && var##Skip)                                                                                   \
        QSKIP(qPrintable(var##Why));                                                                         \
    QVERIFY2(var, qPrintable(var##Why))

// A file of random bytes, so that a copy cut short or shifted cannot match it by chance.
bool writeRandom(const QString &path, qint64 bytes, QFile::Permissions permissions)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QList<quint32> block(MiB / 4);
    for (qint64 left = bytes; left > 0; left -= MiB) {
        QRandomGenerator::global()->fillRange(block.data(), block.size());
        if (f.write(reinterpret_cast<const char *>(block.constData()), std::min(left, MiB)) != std::min(left, MiB))
            return false;
    }
    return f.setPermissions(permissions);
}

bool sameBytes(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd())
        if (fa.read(MiB) != fb.read(MiB))
            return false;
    return true;
}

// Pages of the file that the page cache still has to write, or -1 when the kernel cannot say.
qint64 unwrittenPages(const QString &path)
{
    struct {
        quint64 off, len;
    } range{0, 0};
    struct {
        quint64 cache, dirty, writeback, evicted, recentlyEvicted;
    } state{};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const long ok = fd < 0 ? -1 : ::syscall(__NR_cachestat, fd, &range, &state, 0);
    if (fd >= 0)
        ::close(fd);
    return ok == 0 ? qint64(state.dirty + state.writeback) : -1;
}

// True when some extent of the file shares its blocks with another file.
bool sharesBlocks(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    constexpr int most = 64;
    QByteArray buffer(sizeof(fiemap) + most * sizeof(fiemap_extent), '\0');
    auto *map = reinterpret_cast<fiemap *>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_extent_count = most;
    const bool read = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    for (quint32 i = 0; read && i < map->fm_mapped_extents; ++i)
        if (map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED)
            return true;
    return false;
}

// A name for the current row's files: prefix and the row's tag, letters and digits only.
QString tagged(const QString &prefix)
{
    QString tag = QString::fromUtf8(QTest::currentDataTag());
    for (QChar &c : tag)
        if (!c.isLetterOrNumber())
            c = u'-';
    return prefix + u'-' + tag;
}

QString listed(const QList<int> &percents)
{
    QStringList texts;
    for (int p : percents)
        texts << QString::number(p);
    return texts.join(u' ');
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QString failureOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.message();
    }
    return {};
}

// Each line isql prints for a query, blanks trimmed; ok is false when isql failed.
TempDatabases::Isql isqlLines(const QString &database, const QString &sql, QStringList *lines)
{
    const TempDatabases::Isql r = TempDatabases::isql(database, QStringLiteral("SET HEADING OFF;\n") + sql);
    for (const QString &line : r.output.split(u'\n'))
        if (!line.trimmed().isEmpty())
            *lines << line.trimmed();
    return r;
}

void execute(TSQLQuery &q, const QString &sql)
{
    q.SQL().setText(sql);
    q.ExecSQL();
}

} // namespace

class TestSafetyCopy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void name_data();
    void name();
    void whoCopiesWhat_data();
    void whoCopiesWhat();
    void copyTakenUnderTheBackupLock();
    void copyOnEachFilesystem_data();
    void copyOnEachFilesystem();
    void neverWritesOverAFile();
    void stopOrFailureLeavesNoCopy_data();
    void stopOrFailureLeavesNoCopy();
    void room_data();
    void room();
    void unwritableFolder_data();
    void unwritableFolder();
    void fixUpRefusesOtherFiles_data();
    void fixUpRefusesOtherFiles();
    void aRunWithoutRoomChangesNothing();

private:
    TempDatabases dbs_;
    QString plain_; // a database as the engine leaves it
};

void TestSafetyCopy::initTestCase()
{
    QVERIFY(dbs_.isValid());
    plain_ = dbs_.create(QStringLiteral("plain.fb"), QStringLiteral("CREATE TABLE T (CODPROD CHAR(8));"));
    QVERIFY2(!plain_.isEmpty(), qPrintable(dbs_.lastError()));
}

void TestSafetyCopy::name_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("copy");
    const QDateTime december(QDate(2026, 12, 10), QTime(14, 30, 0));
    QTest::newRow("shop") << "/dados/loja.fb" << december << "/dados/loja.copia-20261210-143000.fb";
    QTest::newRow("zero-padded") << "/dados/loja.fb" << QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5))
                                 << "/dados/loja.copia-20270102-030405.fb";
    QTest::newRow("another suffix") << "/dados/LOJA.FDB" << december << "/dados/LOJA.copia-20261210-143000.fb";
    QTest::newRow("only the last suffix") << "/dados/loja.2025.fb" << december << "/dados/loja.2025.copia-20261210-143000.fb";
    QTest::newRow("no suffix") << "/dados/loja" << december << "/dados/loja.copia-20261210-143000.fb";
    QTest::newRow("dot in the folder") << "/dados.v2/loja" << december << "/dados.v2/loja.copia-20261210-143000.fb";
    QTest::newRow("blanks and accents") << "/home/joão/Área de trabalho/estoque ç.fb" << december
                                        << "/home/joão/Área de trabalho/estoque ç.copia-20261210-143000.fb";
    QTest::newRow("root folder") << "/loja.fb" << december << "/loja.copia-20261210-143000.fb";
    QTest::newRow("relative") << "loja.fb" << december << "loja.copia-20261210-143000.fb";
    QTest::newRow("relative folder") << "dados/loja.fb" << december << "dados/loja.copia-20261210-143000.fb";
}

void TestSafetyCopy::name()
{
    QFETCH(QString, database);
    QFETCH(QDateTime, when);
    QFETCH(QString, copy);
    QCOMPARE(safetycopy::pathFor(database, when), copy);
}

void TestSafetyCopy::whoCopiesWhat_data()
{
    // As the engine attached the database and what it reports having opened: <plain> is a
    // database file of this computer.
    QTest::addColumn<QString>("attachedAs");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<bool>("byServer");
    QTest::addColumn<QString>("database"); // the file copied
    QTest::newRow("a path") << "<plain>" << "<plain>" << false << "<plain>";
    // The embedded engine opens an alias of databases.conf (or a relative name) itself: the file
    // it opened is copied, not a file of that name in the working folder.
    QTest::newRow("an alias, no host") << "loja" << "<plain>" << false << "<plain>";
    QTest::newRow("this computer's server") << "localhost:<plain>" << "<plain>" << false << "<plain>";
    QTest::newRow("another computer's server") << "servidor:loja" << "/srv/dados/loja.fdb" << true << "/srv/dados/loja.fdb";
}

// Who takes the copy, of which file: this program beside a file of this computer, else the
// server that opened it.
void TestSafetyCopy::whoCopiesWhat()
{
    QFETCH(QString, attachedAs);
    QFETCH(QString, opened);
    QFETCH(bool, byServer);
    QFETCH(QString, database);
    const auto fill = [&](QString text) { return text.replace(QStringLiteral("<plain>"), plain_); };
    const QDateTime when(QDate(2026, 12, 10), QTime(14, 30, 0));
    const safetycopy::Plan plan = safetycopy::planFor(DatabaseLocation::attached(fill(attachedAs), fill(opened)), when);
    QCOMPARE(plan.taker == safetycopy::Plan::Taker::Server, byServer);
    QCOMPARE(plan.database, fill(database));
    QVERIFY2(plan.copy.startsWith(QFileInfo(fill(database)).absolutePath() + u'/'), qPrintable(plan.copy));
}

// As a run takes it: the lock begun and committed, the copy made while the engine has the file
// open and a change goes on, the lock ended, the copy fixed up.
void TestSafetyCopy::copyTakenUnderTheBackupLock()
{
    const QString file = dbs_.create(QStringLiteral("loja.fb"), QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10), DESCRICAO VARCHAR(40));
CREATE TABLE ESTOQUE (CODPROD CHAR(8), QUANTIDADE INTEGER);
INSERT INTO PRODUTOS VALUES ('1234567', 'Camisa');
INSERT INTO PRODUTOS VALUES ('2000001', 'Meia');
INSERT INTO ESTOQUE VALUES ('1234567', 10);
)"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QString codes = QStringLiteral("select CODPROD from PRODUTOS order by 1;\nselect CODPROD || QUANTIDADE from ESTOQUE;\n");
    QStringList before;
    QVERIFY(isqlLines(file, codes, &before).ok);
    QCOMPARE(before, (QStringList{"1234567", "2000001", "1234567 10"}));

    const QString copy = dbs_.path(QStringLiteral("loja.copia.fb"));
    QList<int> shown;
    {
        TSQLConnection db;
        db.Params.setValue(QStringLiteral("DataBase"), file);
        TSQLQuery q;
        q.setSQLConnection(&db);
        execute(q, QStringLiteral("ALTER DATABASE BEGIN BACKUP"));
        execute(q, QStringLiteral("Commit"));
        // Committed after the lock began: the engine keeps it out of the main file.
        execute(q, QStringLiteral("UPDATE PRODUTOS SET CODPROD = '0000000' WHERE CODPROD = '1234567'"));
        execute(q, QStringLiteral("INSERT INTO ESTOQUE VALUES ('9999999', 1)"));
        execute(q, QStringLiteral("Commit"));
        safetycopy::copyFile(file, copy, [&](int p) { shown << p; });
        execute(q, QStringLiteral("ALTER DATABASE END BACKUP"));
        execute(q, QStringLiteral("Commit"));
        db.setConnected(false);
    }
    QCOMPARE(shown.last(), 100);

    // Without the fix-up the engine looks for the lock's delta file beside the copy.
    QStringList unopened;
    const TempDatabases::Isql refused = isqlLines(copy, codes, &unopened);
    QVERIFY2(!refused.ok && refused.output.contains(copy + QStringLiteral(".delta")), qPrintable(refused.output));

    safetycopy::fixUp(copy);
    QStringList copied;
    const TempDatabases::Isql opened = isqlLines(copy, codes, &copied);
    QVERIFY2(opened.ok, qPrintable(opened.output));
    QCOMPARE(copied, before);
    QVERIFY(!QFile::exists(copy + QStringLiteral(".delta")));

    QStringList after;
    const TempDatabases::Isql original = isqlLines(file, codes, &after);
    QVERIFY2(original.ok, qPrintable(original.output));
    QCOMPARE(after, (QStringList{"0000000", "2000001", "1234567 10", "9999999 1"}));
    // The copy is a database of its own now: written to, it leaves the original alone.
    QVERIFY(TempDatabases::isql(copy, QStringLiteral("DELETE FROM ESTOQUE;\nCOMMIT;\n")).ok);
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from ESTOQUE")), QStringList{"2"});
}

void TestSafetyCopy::copyOnEachFilesystem_data()
{
    QTest::addColumn<int>("kind"); // a Mount::Kind, or -1: the test's own folder
    QTest::addColumn<bool>("sourceElsewhere"); // the original in the test's folder, not on the mount
    QTest::addColumn<int>("method");           // the safetycopy::Method expected, or -1: any
    QTest::newRow("test folder") << -1 << false << -1;
    QTest::newRow("xfs: a clone") << int(Mount::Xfs) << false << int(safetycopy::Method::Clone);
    QTest::newRow("ext4: the kernel copies") << int(Mount::Ext4) << false << int(safetycopy::Method::CopyRange);
    QTest::newRow("tmpfs: the kernel copies") << int(Mount::Tmpfs) << false << int(safetycopy::Method::CopyRange);
    QTest::newRow("across filesystems: read and write") << int(Mount::Tmpfs) << true << int(safetycopy::Method::ReadWrite);
}

void TestSafetyCopy::copyOnEachFilesystem()
{
    QFETCH(int, kind);
    QFETCH(bool, sourceElsewhere);
    QFETCH(int, method);
    const QString folder = dbs_.path(tagged(QStringLiteral("copy")));
    std::unique_ptr<Mount> mount;
    if (kind >= 0) {
        // XFS makes nothing smaller than 300 MB; the image is sparse.
        MOUNT(m, folder, Mount::Kind(kind), kind == Mount::Xfs ? 320 * MiB : 128 * MiB);
        mount = std::move(m);
    } else {
        QVERIFY(QDir().mkpath(folder));
    }
    const QString from = sourceElsewhere ? dbs_.path(QStringLiteral("elsewhere.fb")) : folder + QStringLiteral("/loja.fb");
    const qint64 size = 20 * MiB + 12345; // several chunks, the last one short
    QVERIFY(writeRandom(from, size, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString to = folder + QStringLiteral("/loja.copia.fb");

    QList<int> shown;
    qint64 unwrittenAtTheEnd = -1;
    const safetycopy::Method used = safetycopy::copyFile(from, to, [&](int p) {
        shown << p;
        if (p == 100)
            unwrittenAtTheEnd = unwrittenPages(to);
    });
    if (method >= 0)
        QCOMPARE(int(used), method);
    QVERIFY(sameBytes(from, to));
    QCOMPARE(QFile(to).permissions(), QFile(from).permissions());
    QCOMPARE(shown.last(), 100);
    for (int i = 1; i < shown.size(); ++i)
        QVERIFY2(shown[i - 1] < shown[i], qPrintable(listed(shown)));
    if (used == safetycopy::Method::Clone) {
        QCOMPARE(shown, QList<int>{100});
        QVERIFY(sharesBlocks(to));
    } else {
        QVERIFY2(shown.size() >= 3, qPrintable(listed(shown))); // a step per chunk
    }
    // Flushed when it says 100: nothing of the copy left for the page cache to write (tmpfs
    // has nothing to write it to).
    if (kind != Mount::Tmpfs) {
        if (unwrittenAtTheEnd < 0)
            qInfo("the kernel cannot tell the copy's unwritten pages: not checked");
        else
            QCOMPARE(unwrittenAtTheEnd, 0);
    }
    QFile::remove(from);
    QFile::remove(to);
}

void TestSafetyCopy::neverWritesOverAFile()
{
    const QString from = dbs_.path(QStringLiteral("original.fb"));
    const QString to = dbs_.path(QStringLiteral("there.fb"));
    QVERIFY(writeRandom(from, MiB, QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(writeRandom(to, 1000, QFile::ReadOwner | QFile::WriteOwner));
    QFile there(to);
    QVERIFY(there.open(QIODevice::ReadOnly));
    const QByteArray kept = there.readAll();
    QCOMPARE(failureOf([&] { safetycopy::copyFile(from, to, {}); }),
             QStringLiteral("Não foi possível fazer a cópia de segurança %1: %2.").arg(to, systemReason(EEXIST)));
    QVERIFY(there.seek(0));
    QCOMPARE(there.readAll(), kept);
}

void TestSafetyCopy::stopOrFailureLeavesNoCopy_data()
{
    QTest::addColumn<qint64>("room");
    QTest::addColumn<bool>("sourceElsewhere");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("reason");
    QTest::newRow("stopped: the kernel copying") << 128 * MiB << false << true << QString();
    QTest::newRow("stopped: read and write") << 128 * MiB << true << true << QString();
    QTest::newRow("filesystem fills up: the kernel copying") << 32 * MiB << false << false << systemReason(ENOSPC);
    QTest::newRow("filesystem fills up: read and write") << 12 * MiB << true << false << systemReason(ENOSPC);
}

void TestSafetyCopy::stopOrFailureLeavesNoCopy()
{
    QFETCH(qint64, room);
    QFETCH(bool, sourceElsewhere);
    QFETCH(bool, stop);
    QFETCH(QString, reason);
    // A tmpfs never clones, so the copy goes in chunks and can end between them.
    MOUNT(mount, dbs_.path(tagged(QStringLiteral("cut"))), Mount::Tmpfs, room);
    const QString from =
        sourceElsewhere ? dbs_.path(QStringLiteral("cut-elsewhere.fb")) : mount->path + QStringLiteral("/loja.fb");
    QVERIFY(writeRandom(from, 20 * MiB, QFile::ReadOwner | QFile::WriteOwner));
    const QStringList before = entries(mount->path);
    const QString to = mount->path + QStringLiteral("/loja.copia.fb");

    std::atomic<bool> stopped{false};
    QList<int> shown;
    const QString failure = failureOf([&] {
        safetycopy::copyFile(from, to, [&](int p) { shown << p, stopped = stop; }, &stopped);
    });
    if (stop)
        QCOMPARE(failure, QStringLiteral("Cópia de segurança %1 interrompida.").arg(to));
    else
        QCOMPARE(failure, QStringLiteral("Não foi possível fazer a cópia de segurança %1: %2.").arg(to, reason));
    QVERIFY2(!shown.isEmpty() && shown.last() < 100, qPrintable(listed(shown))); // ended mid-way
    QCOMPARE(entries(mount->path), before);
    QFile::remove(from);
}

void TestSafetyCopy::room_data()
{
    QTest::addColumn<qint64>("used"); // of the 100 MiB, before the check
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("refusal"); // %1: the folder; empty when the copy fits
    // The margin said, and the free megabytes in the right number.
    const QString text = QStringLiteral("Sem espaço para a cópia de segurança em %1: são necessários %2 MB (o tamanho do "
                                        "banco e uma folga de %3 MB) e só há %4 MB %5.");
    const auto refused = [&text](const char *needed, const char *margin, const char *free) {
        return text.arg("%1", needed, margin, free, qstrcmp(free, "1") == 0 ? "livre" : "livres");
    };
    // 64 MiB asked beyond a small copy.
    QTest::newRow("fits") << 0ll << 30 * MiB << QString();
    QTest::newRow("fits exactly") << 0ll << 36 * MiB << QString();
    QTest::newRow("a byte too many") << 0ll << 36 * MiB + 1 << refused("101", "64", "100");
    QTest::newRow("small copy, margin") << 0ll << 40 * MiB << refused("104", "64", "100");
    QTest::newRow("large copy, a tenth more") << 0ll << 900 * MiB << refused("990", "90", "100");
    QTest::newRow("needed rounded up") << 0ll << 900 * MiB + 5 << refused("991", "90", "100");
    QTest::newRow("room rounded down") << 3 * MiB / 2 << 36 * MiB << refused("100", "64", "98");
    QTest::newRow("2 MB free") << 195 * MiB / 2 << 30 * MiB << refused("94", "64", "2");
    QTest::newRow("1 MB free, in the singular") << 197 * MiB / 2 << 30 * MiB << refused("94", "64", "1");
}

void TestSafetyCopy::room()
{
    QFETCH(qint64, used);
    QFETCH(qint64, size);
    QFETCH(QString, refusal);
    MOUNT(mount, dbs_.path(QStringLiteral("room")), Mount::Tmpfs, 100 * MiB);
    if (used)
        QVERIFY(writeRandom(mount->path + QStringLiteral("/loja.fb"), used, QFile::ReadOwner | QFile::WriteOwner));
    const QStringList before = entries(mount->path);
    const QString copy = mount->path + QStringLiteral("/loja.copia-20261210-143000.fb");
    QCOMPARE(failureOf([&] { safetycopy::checkRoom(copy, size); }), refusal.isEmpty() ? refusal : refusal.arg(mount->path));
    QCOMPARE(entries(mount->path), before);
}

void TestSafetyCopy::unwritableFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error");
    QTest::newRow("read-only mount") << "read-only" << EROFS;
    QTest::newRow("no such folder") << "missing" << ENOENT;
    QTest::newRow("a file, not a folder") << "file" << ENOTDIR;
}

void TestSafetyCopy::unwritableFolder()
{
    QFETCH(QString, kind);
    QFETCH(int, error);
    const QString folder = dbs_.path(tagged(QStringLiteral("unwritable")));
    std::unique_ptr<Mount> mount;
    if (kind == QLatin1String("read-only")) {
        MOUNT(m, folder, Mount::ReadOnly, MiB);
        mount = std::move(m);
    } else if (kind == QLatin1String("file")) {
        QVERIFY(writeRandom(folder, 10, QFile::ReadOwner | QFile::WriteOwner));
    }
    const QString from = dbs_.path(QStringLiteral("small.fb"));
    QVERIFY(writeRandom(from, MiB, QFile::ReadOwner | QFile::WriteOwner));
    const QString copy = folder + QStringLiteral("/loja.copia-20261210-143000.fb");

    // No copy can be made there: the technician is called, with the way around it.
    QCOMPARE(failureOf([&] { safetycopy::checkRoom(copy, MiB); }),
             QStringLiteral("Chame o técnico responsável pelo sistema.\rNão é possível gravar a cópia de segurança em %1: "
                            "%2.\r\rPara o técnico: dê a este usuário permissão de gravação nessa pasta; ou, com uma cópia "
                            "feita por outro meio, converta sem a cópia do programa (conversor --convert --no-copy "
                            "caminho/do/banco).")
                 .arg(folder, systemReason(error)));
    QCOMPARE(failureOf([&] { safetycopy::copyFile(from, copy, {}); }),
             QStringLiteral("Não foi possível fazer a cópia de segurança %1: %2.").arg(copy, systemReason(error)));
    QVERIFY(!QFileInfo::exists(copy));
    if (kind == QLatin1String("file"))
        QFile::remove(folder);
}

void TestSafetyCopy::fixUpRefusesOtherFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // %1: the file
    const QString notFirebird3 = QStringLiteral("%1 não é um banco de dados do Firebird 3.");
    const QString notLocked =
        QStringLiteral("%1 não traz no cabeçalho o estado de cópia sob a trava do banco (ALTER DATABASE BEGIN BACKUP).");
    QTest::newRow("database not under the lock") << "normal" << notLocked;
    QTest::newRow("database merging its delta") << "merge" << notLocked;
    QTest::newRow("older on-disk structure") << "ods11" << notFirebird3;
    QTest::newRow("another page first") << "page type" << notFirebird3;
    QTest::newRow("text file") << "text" << notFirebird3;
    QTest::newRow("empty file") << "empty" << notFirebird3;
    QTest::newRow("shorter than a header") << "short" << notFirebird3;
    QTest::newRow("no such file") << "missing"
                                  << QStringLiteral("Não foi possível abrir a cópia de segurança %1: ") + systemReason(ENOENT) + u'.';
}

void TestSafetyCopy::fixUpRefusesOtherFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    QFile plain(plain_);
    QVERIFY(plain.open(QIODevice::ReadOnly));
    const QByteArray database = plain.readAll();
    const QString file = dbs_.path(tagged(QStringLiteral("fixup")));
    // The database with the bytes at offset replaced.
    auto patched = [&](int offset, const QByteArray &value) { return QByteArray(database).replace(offset, value.size(), value); };
    QByteArray bytes;
    if (kind == QLatin1String("normal"))
        bytes = patched(0, {});
    else if (kind == QLatin1String("merge"))
        bytes = patched(43, QByteArray(1, '\x08'));
    else if (kind == QLatin1String("ods11"))
        bytes = patched(18, QByteArray::fromHex("0b80"));
    else if (kind == QLatin1String("page type"))
        bytes = patched(0, QByteArray(1, '\x05'));
    else if (kind == QLatin1String("text"))
        bytes = QByteArray("Este arquivo não é um banco de dados.\n").repeated(100);
    else if (kind == QLatin1String("short"))
        bytes = patched(0, {}).left(100);
    if (kind != QLatin1String("missing")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QCOMPARE(failureOf([&] { safetycopy::fixUp(file); }), refusal.arg(file));
    if (kind != QLatin1String("missing")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
    }
}

// A database in a folder without room for its copy: the check says so, and the run stops before
// anything changes, saying what it needs and where, in the same words.
void TestSafetyCopy::aRunWithoutRoomChangesNothing()
{
    const QString made = dbs_.create(QStringLiteral("sem-espaco.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('12345678');
SET TERM ^ ;
CREATE TRIGGER PRODUTOS_AU FOR PRODUTOS AFTER UPDATE AS BEGIN END^
SET TERM ; ^
)"));
    QVERIFY2(!made.isEmpty(), qPrintable(dbs_.lastError()));
    MOUNT(mount, dbs_.path(QStringLiteral("pequeno")), Mount::Tmpfs, 16 * MiB);
    const QString file = mount->path + QStringLiteral("/loja.fb");
    QVERIFY(QFile::copy(made, file));
    const QStringList before = entries(mount->path);

    TSQLConnection checked;
    checked.Params.setValue(QStringLiteral("DataBase"), file);
    const CheckReport report = CheckReport::examine(checked);
    QCOMPARE(report.status(), 1);

    TSQLConnection db;
    RecordingView view;
    view.path = file;
    Conversion conversion(db, view);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(view.boxes.size(), 1);
    // The database is small: the margin makes what is needed.
    const QRegularExpressionMatch said =
        QRegularExpression(QStringLiteral("^Erro ao fazer a cópia de segurança\\rMotivo: (Sem espaço para a cópia de segurança em ")
                           + QRegularExpression::escape(mount->path)
                           + QStringLiteral(": são necessários (\\d+) MB \\(o tamanho do banco e uma folga de 64 MB\\) e só há (\\d+) MB livres\\.)$"))
            .match(view.boxes[0].text);
    QVERIFY2(said.hasMatch(), qPrintable(view.boxes[0].text));
    QVERIFY2(report.lines().contains(QStringLiteral("  impede a conversão: ") + said.captured(1)), qPrintable(report.lines().join(u'\n')));
    QVERIFY2(said.captured(2).toInt() >= 65 && said.captured(2).toInt() <= 67, qPrintable(said.captured(2)));
    QVERIFY(said.captured(3).toInt() >= 13 && said.captured(3).toInt() <= 15);
    QCOMPARE(entries(mount->path), before); // no copy, no file of the backup lock
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from PRODUTOS")), QStringList{"12345678"});
    QCOMPARE(readColumn(file, QStringLiteral("select RDB$TRIGGER_INACTIVE from RDB$TRIGGERS where RDB$TRIGGER_NAME = 'PRODUTOS_AU'")),
             QStringList{"0"});
    QCOMPARE(readColumn(file, QStringLiteral("select MON$BACKUP_STATE from MON$DATABASE")), QStringList{"0"});
}

int main(int argc, char **argv)
{
    takePrivateMounts();
    QCoreApplication app(argc, argv);
    TestSafetyCopy test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_safetycopy.moc"
