// Times whole conversion runs against the engine alone, on generated databases:
//   - run: the program converting the file without a window and without its safety copy
//     (build/conversor --convert --no-copy FILE, a process from start to exit: the connect
//     step, every statement, the end);
//   - engine: isql-fb running the same rewrites in one transaction from a script file (-i),
//     as its users run it;
//   - all: isql-fb running every statement the run sends, the looks before the rewrites, the
//     discovery and its count, the conversion's mark (the generated files have no triggers to
//     switch), so that what the run costs beyond them is the program's own;
//   - check: the read-only check of the same file (build/conversor --check FILE), beside a run;
//   - list: what the list of old and new codes adds to a run, the run made in this process
//     with the list and without it, alike otherwise;
// the median of three runs each (of fifteen for the small shapes, whose times are short and
// noisy), each going first in turn, with the run's peak resident memory. Then the safety copy
// of the largest file, as a run makes it (a clone or a kernel copy, flushed), beside
// cp --reflink=auto of the same file followed by sync, and the copy a server makes when this
// program cannot (its physical copy of the pages through the Services API, and its logical
// backup, by a private server of the benchmark's own, tests/support/private-server, followed by
// sync); and the longest time the window's event
// loop went unanswered during a run over one table of 1,500,000 rows (the run going through
// the code the window uses, a timer on the loop every 5 ms).
//   bench_run [--quick] [--shop] [--readme README.md] [--guide docs/guia.md] | --kept-out HOST:FILE
// --readme writes the table into the README, --guide what the times mean to a shop into the
// user's guide, each between its "<!-- bench_run -->" and "<!-- /bench_run -->".
#include "codelist.h"
#include "conversion.h"
#include "engineenv.h"
#include "errors.h"
#include "marks.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "loopwatch.h"
#include "threadedrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How the benchmark logs in to the embedded engine, generating or timing.
const QStringList isqlLogin{QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                            QStringLiteral("-password"), QStringLiteral("x")};

bool isql(const QStringList &args, const QString &script = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("isql-fb"), isqlLogin + args);
    if (!script.isEmpty())
        p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const QByteArray out = p.readAll();
    if (p.exitCode() != 0 || out.contains("Statement failed")) {
        std::fprintf(stderr, "isql: %s\n", out.constData());
        return false;
    }
    return true;
}

QString tableName(int i)
{
    return QStringLiteral("TABELA_%1").arg(i, 4, 10, QLatin1Char('0'));
}

// Tables of a shop's movements: codes of 8 characters, each table's 500 products over and over.
bool generate(const QString &file, int tables, int rows)
{
    QFile substr(QStringLiteral(SUBSTR_SQL));
    if (!substr.open(QIODevice::ReadOnly))
        return false;
    QString sql;
    QTextStream s(&sql);
    s << "SET SQL DIALECT 1;\nSET BAIL ON;\nCREATE DATABASE '" << file << "' USER 'SYSDBA' PASSWORD 'x';\n"
      << QString::fromUtf8(substr.readAll());
    for (int t = 0; t < tables; ++t)
        s << "CREATE TABLE " << tableName(t) << " (ID INTEGER, CODPROD VARCHAR(10), DESCRICAO VARCHAR(30));\n";
    s << "COMMIT;\nSET TERM ^ ;\n";
    for (int t = 0; t < tables; ++t)
        s << "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " << rows << ") DO BEGIN INSERT INTO "
          << tableName(t) << " VALUES (:I, '1' || LPAD(" << t * 500 << " + MOD(:I, 500), 7, '0'), 'produto'); I = I + 1; "
             "END END^\n";
    s << "SET TERM ; ^\nCOMMIT;\n";
    return isql({}, sql);
}

struct Child {
    int status = -1;
    double seconds = 0;
    long peakKib = 0;
};

// Runs a program to its end, timed, with its peak resident memory; its output is dropped.
Child runChild(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString &a : arguments)
        storage.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child child;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        child.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        child.peakKib = usage.ru_maxrss;
    }
    child.seconds = timer.nsecsElapsed() / 1e9;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class QuietView final : public ConversionView {
public:
    QString path;
    bool converted = false;
    QString pathText() const override { return path; }
    void showMessage(MessageKind kind, const QString &) override { converted = kind == MessageKind::Information; }
    bool confirm(const QString &) override { return false; }
    void setGaugeMax(int) override {}
    void setStatus(const QString &) override {}
    void flushProgress() override {}
    void addProgress(int) override {}
    void setProgress(int) override {}
};

// A run of file in this process, without a safety copy, with or without the list; its seconds,
// or a negative number when it did not convert.
double timedRun(const QString &file, bool codeList)
{
    TSQLConnection db;
    QuietView view;
    view.path = file;
    QElapsedTimer timer;
    timer.start();
    Conversion(db, view, Conversion::Options{false, codeList}).run();
    const double seconds = timer.nsecsElapsed() / 1e9;
    return view.converted ? seconds : -1;
}

// The longest the loop went unanswered during a run on file, as the window runs it.
qint64 longestUnanswered(const QString &file, bool &converted)
{
    TSQLConnection db;
    QuietView view;
    view.path = file;
    const qint64 gap = longestUnansweredMs([&] { ThreadedRun(db, view).exec(); });
    converted = view.converted;
    return gap;
}

// Replaces the text between "<!-- NAME -->" and "<!-- /NAME -->" in file.
bool replaceBlock(const QString &file, const QString &name, const QString &text)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QString all = QString::fromUtf8(f.readAll());
    f.close();
    const QRegularExpression block(QStringLiteral("<!-- %1 -->\\n.*<!-- /%1 -->").arg(name),
                                   QRegularExpression::DotMatchesEverythingOption);
    if (!block.match(all).hasMatch()) {
        std::fprintf(stderr, "bench_run: no <!-- %s --> block in %s\n", qPrintable(name), qPrintable(file));
        return false;
    }
    all.replace(block, QStringLiteral("<!-- %1 -->\n").arg(name) + text + QStringLiteral("<!-- /%1 -->").arg(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(all.toUtf8()) >= 0;
}

// A program timed as the others beside it are: started alike, none of them paying for the
// write-back of the files they were given.
struct Timed {
    QString program;
    QStringList arguments;
    std::vector<double> *times;
};

// Runs each of order once, the turn-th going first (so that none always has the freshest
// caches), adding its seconds to its times; peak: the largest resident memory of those timed
// into peakOf. False, said on stderr, when one fails.
bool runInTurn(std::vector<Timed> order, int turn, const std::vector<double> *peakOf, long &peak)
{
    std::rotate(order.begin(), order.begin() + turn % order.size(), order.end());
    for (const Timed &t : order) {
        ::sync();
        const Child child = runChild(t.program, t.arguments);
        if (child.status != 0) {
            std::fprintf(stderr, "failed (%d): %s %s\n", child.status, qPrintable(t.program), qPrintable(t.arguments.join(u' ')));
            return false;
        }
        t.times->push_back(child.seconds);
        if (t.times == peakOf)
            peak = std::max(peak, child.peakKib);
    }
    return true;
}

// How long a shop is kept out of database (a server's: on one desk the engine lets one process
// have a file) by a run with its safety copy, a process of its own: a plain attach, as a shop's
// program makes, tried every 20 ms from the moment the run says it copies (its door closed by
// then; tried earlier, an attach would be one the run refuses to work beside), until the run
// ends. The time from the first refusal to the last, and the run's own; negative
// when the run failed.
std::pair<double, double> timeKeptOut(const QString &convert, const QString &file)
{
    QProcess run;
    run.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    run.start(convert, {QStringLiteral("--convert"), file});
    QByteArray said;
    while (run.state() != QProcess::NotRunning && !said.contains("Copiando o banco")) {
        run.waitForReadyRead(5);
        said += run.readAllStandardError();
    }
    double first = -1, last = -1;
    while (run.state() != QProcess::NotRunning) {
        TSQLConnection shop;
        shop.Params.setValue(QStringLiteral("DataBase"), file);
        const double at = clock.nsecsElapsed() / 1e9;
        try {
            shop.setConnected(true);
            shop.setConnected(false);
        } catch (const std::exception &e) {
            if (messageOf(e).contains(QStringLiteral("reservado pelo Conversor"))) {
                if (first < 0)
                    first = at;
                last = at;
            }
        }
        run.waitForFinished(20);
    }
    const double whole = clock.nsecsElapsed() / 1e9;
    if (run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0 || first < 0) {
        std::fprintf(stderr, "%s%s(status %d, refused first at %.2f s)\n", said.constData(), run.readAll().constData(),
                     run.exitCode(), first);
        return {-1, whole};
    }
    return {last - first, whole};
}

// A shop's database as shops keep it: the classic external SUBSTR, products keyed by their
// code, sale items referring to them (their codes follow by cascade), stock movements with an
// index on the code and an audit trigger. products distinct codes of 8 characters; each item and
// movement one of them.
bool generateShop(const QString &file, int products, int items, int movements)
{
    QFile substr(QStringLiteral(SUBSTR_UDF_SQL));
    if (!substr.open(QIODevice::ReadOnly))
        return false;
    QString sql;
    QTextStream s(&sql);
    s << "SET SQL DIALECT 1;\nSET BAIL ON;\nCREATE DATABASE '" << file << "' USER 'SYSDBA' PASSWORD 'x' DEFAULT CHARACTER SET WIN1252;\n"
      << QString::fromUtf8(substr.readAll())
      << "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY, DESCRICAO VARCHAR(40), PRECO NUMERIC(15,2));\n"
         "CREATE TABLE ITENS_VENDA (ID INTEGER NOT NULL PRIMARY KEY, VENDA INTEGER, CODPROD VARCHAR(10) REFERENCES PRODUTOS "
         "ON UPDATE CASCADE, QTD NUMERIC(15,3), VALOR NUMERIC(15,2));\n"
         "CREATE TABLE MOVIMENTOS (ID INTEGER NOT NULL PRIMARY KEY, CODPROD VARCHAR(10), DATA TIMESTAMP, QTD NUMERIC(15,3));\n"
         "CREATE INDEX MOVIMENTOS_CODPROD ON MOVIMENTOS (CODPROD);\n"
         "CREATE TABLE AUDITORIA (QUEM VARCHAR(31), CODIGO VARCHAR(10));\n"
         "SET TERM ^ ;\n"
         "CREATE TRIGGER MOVIMENTOS_AU FOR MOVIMENTOS AFTER UPDATE AS BEGIN INSERT INTO AUDITORIA VALUES ('MOVIMENTOS', NEW.CODPROD); END^\n"
         "SET TERM ; ^\nCOMMIT;\nSET TERM ^ ;\n"
      << "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " << products << ") DO BEGIN INSERT INTO PRODUTOS VALUES "
         "('1' || LPAD(:I, 5, '0') || '00', 'produto ' || :I, 9.90); I = I + 1; END END^\n"
      << "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " << items << ") DO BEGIN INSERT INTO ITENS_VENDA VALUES "
         "(:I, :I / 4, '1' || LPAD(MOD(:I * 7, " << products << "), 5, '0') || '00', 1, 9.90); I = I + 1; END END^\n"
      << "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " << movements << ") DO BEGIN INSERT INTO MOVIMENTOS VALUES "
         "(:I, '1' || LPAD(MOD(:I * 13, " << products << "), 5, '0') || '00', CURRENT_TIMESTAMP, 1); I = I + 1; END END^\n"
      << "SET TERM ; ^\nCOMMIT;\n";
    return isql({}, sql);
}

// The same conversion written by hand, as a technician runs it with isql: the triggers off, one
// UPDATE a table whose codes are its own (the items' follow the products'), the triggers on.
QString shopByHand()
{
    return QStringLiteral("ALTER TRIGGER MOVIMENTOS_AU INACTIVE;\nCOMMIT;\n"
                          "UPDATE PRODUTOS SET CODPROD = SUBSTR(CODPROD,2,2) || '0' || SUBSTR(CODPROD,3,6) WHERE TRIM(CODPROD) <> '';\n"
                          "UPDATE MOVIMENTOS SET CODPROD = SUBSTR(CODPROD,2,2) || '0' || SUBSTR(CODPROD,3,6) WHERE TRIM(CODPROD) <> '';\n"
                          "ALTER TRIGGER MOVIMENTOS_AU ACTIVE;\nCOMMIT;\n");
}

struct ShapeTiming {
    int tables;
    int rows;
    qint64 bytes;
    double run;
};

// The times in a shop's words, for the user's guide.
QString guideText(const std::vector<ShapeTiming> &timings, double copy, double serverCopy)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    const auto seconds = [&](double s) { return br.toString(s, 'f', s < 10 ? 1 : 0) + QStringLiteral(" s"); };
    QStringList said;
    for (const ShapeTiming &t : timings)
        said << QStringLiteral("um banco de %1 MB, com %2 tabelas de %3 linhas (%4 códigos ao todo), em %5")
                    .arg(br.toString(t.bytes / 1048576.0, 'f', 0), br.toString(t.tables), br.toString(t.rows),
                         br.toString(qint64(t.tables) * t.rows), seconds(t.run));
    return QStringLiteral("Medido pelo `bench_run` num computador de %1 núcleos, com o banco num disco local e a "
                          "conversão sem a cópia de segurança: %2. A cópia de segurança do maior deles levou mais "
                          "%3.\n")
        .arg(QThread::idealThreadCount())
        .arg(said.join(QStringLiteral("; ")), seconds(copy))
        + (serverCopy > 0 ? QStringLiteral("Feita pelo servidor (quando o programa não pode ler o arquivo), a mesma cópia levou "
                                           "%1.\n").arg(seconds(serverCopy))
                          : QString());
}

// The server's copy of file, timed as the program's copy is (the median of repeats, each after
// a sync, the copy then written back with sync), by a server of the benchmark's own, both ways
// in the same run: its physical copy of the pages (the run's), and its logical backup (where the
// physical one cannot be made); ours: the program's copy of the same file. seconds: the
// physical copy's time, 0 when not measured. Then how long the shop is kept out of a copy of
// file while convert's run through that server converts it.
QString serverCopyLine(const QString &file, double ours, int repeats, double &seconds, const QString &convert)
{
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/conversor-bench-server-XXXXXX"));
    QProcess start;
    start.start(QStringLiteral(PRIVATE_SERVER), {QStringLiteral("start"), QStringLiteral(BUILD_DIR), folder.path()});
    start.waitForFinished(60000);
    const int port = QString::fromUtf8(start.readAllStandardOutput()).trimmed().toInt();
    auto stop = qScopeGuard([&] { QProcess::execute(QStringLiteral(PRIVATE_SERVER), {QStringLiteral("stop"), folder.path()}); });
    if (start.exitCode() != 0 || port == 0)
        return QStringLiteral("Safety copy by a server: not measured (%1).\n")
            .arg(QString::fromUtf8(start.readAllStandardError()).trimmed());
    const QString database = QStringLiteral("localhost/%1:%2").arg(port).arg(file);
    TSQLConnection db;
    const auto timed = [&](const QString &name, const std::function<void(dbx::Services &, const QString &)> &copy) {
        const QString target = QFileInfo(file).dir().filePath(name);
        std::vector<double> times;
        for (int r = 0; r < repeats; ++r) {
            QFile::remove(target);
            ::sync();
            QElapsedTimer timer;
            timer.start();
            copy(*db.services(database), target);
            ::sync();
            times.push_back(timer.nsecsElapsed() / 1e9);
        }
        QFile::remove(target);
        return median(times);
    };
    double physical = 0, logical = 0;
    try {
        physical = timed(QStringLiteral("copia-servidor.nbk"),
                         [&](dbx::Services &s, const QString &to) { s.copyPages(database, to); });
        logical = timed(QStringLiteral("copia-servidor.fbk"), [&](dbx::Services &s, const QString &to) { s.backUp(database, to); });
    } catch (const std::exception &e) {
        return QStringLiteral("Safety copy by a server: not measured (%1).\n").arg(messageOf(e));
    }
    seconds = physical;
    const QString line = QStringLiteral("The same copy by a server (its physical copy of the pages through the Services API, then "
                                        "sync): %1 s (ratio to this program's copy %2); its logical backup, where the physical one "
                                        "cannot be made: %3 s.\n")
                             .arg(physical, 0, 'f', 2)
                             .arg(physical / ours, 0, 'f', 2)
                             .arg(logical, 0, 'f', 2);
    const QString kept = QFileInfo(file).dir().filePath(QStringLiteral("fechado.fb"));
    QFile::remove(kept);
    QFile::copy(file, kept);
    ::sync();
    const auto [out, whole] = timeKeptOut(convert, QStringLiteral("localhost/%1:%2").arg(port).arg(kept));
    if (out < 0)
        return line + QStringLiteral("The shop kept out by a run through the server: not measured (the run failed).\n");
    return line + QStringLiteral("A shop's program kept out of the same file by a run through that server, its copy included: "
                                 "%1 s, refused from the copy's start to the run's last commit (the run took %2 s).\n")
                      .arg(out, 0, 'f', 2)
                      .arg(whole, 0, 'f', 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const engine::Environment env = engine::prepare(QCoreApplication::applicationDirPath());
    // isql-fb, run with the tool's settings, finds the character sets only so.
    qputenv("LD_PRELOAD", QFile::encodeName(engine::characterSetModules(env.settingsFolder).join(u':')));
    const QStringList args = app.arguments();
    const QString convert = app.applicationDirPath() + QStringLiteral("/conversor");
    const QString isqlProgram = QStandardPaths::findExecutable(QStringLiteral("isql-fb"));
    if (isqlProgram.isEmpty()) {
        std::fprintf(stderr, "bench_run: isql-fb is not installed\n");
        return 1;
    }
    // The shop's downtime alone, on a server's database of the user's (converted: give it a copy).
    if (const qsizetype keptAt = args.indexOf(QStringLiteral("--kept-out")); keptAt > 0) {
        const auto [out_, whole] = timeKeptOut(convert, args.value(keptAt + 1));
        std::printf("kept out %.2f s of a run of %.2f s\n", out_, whole);
        return out_ < 0 ? 1 : 0;
    }
    const bool quick = args.contains(QStringLiteral("--quick"));
    // Only the shop's shape (no README, no guide): a quick look at the rewrite's cost.
    const bool shopOnly = args.contains(QStringLiteral("--shop"));
    const qsizetype readmeAt = args.indexOf(QStringLiteral("--readme"));
    const QString readme = readmeAt > 0 ? args.value(readmeAt + 1) : QString();
    const qsizetype guideAt = args.indexOf(QStringLiteral("--guide"));
    const QString guide = guideAt > 0 ? args.value(guideAt + 1) : QString();
    std::vector<ShapeTiming> timings;
    struct Shape {
        int tables;
        int rows;
    };
    const std::vector<Shape> shapes = quick ? std::vector<Shape>{{5, 2000}, {100, 10}}
                                            : std::vector<Shape>{{50, 20000}, {1000, 10}};
    const int longTable = quick ? 100000 : 1500000;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/conversor-bench-XXXXXX"));
    QString table;
    QTextStream out(&table);
    out << "| shape | run | engine | ratio | all | ratio to all | check | check to run | list adds | peak |\n"
           "|---|---|---|---|---|---|---|---|---|---|\n";
    QString largest;
    for (const Shape &shape : shopOnly ? std::vector<Shape>{} : shapes) {
        const QString templ = dir.filePath(QStringLiteral("template-%1x%2.fb").arg(shape.tables).arg(shape.rows));
        if (!generate(templ, shape.tables, shape.rows))
            return 1;
        const QString script = dir.filePath(QStringLiteral("rewrites.sql"));
        const QString allScript = dir.filePath(QStringLiteral("all.sql"));
        // What the run reads before its rewrites, as it sends it. The generated files are dialect
        // 1, where the count names its table unquoted.
        QStringList before{statements::otherAttachments(), statements::currentTransaction(), statements::databaseState(),
                           statements::databaseDescription(), statements::userTriggers(), statements::codeColumns(),
                           statements::codeReferences(), statements::checkConstraints(), statements::uniqueKeys(),
                           statements::ruleOnce(), statements::discovery(),
                           countStatement(statements::discovery(), 0, QString()), statements::defaultCharset()};
        // Each table's codes counted once, with the room its column has for the rewritten ones.
        for (int t = 0; t < shape.tables; ++t)
            before << statements::codeGroups(tableName(t), {}, QStringLiteral("CHAR_LENGTH(%1) > 10"),
                                             statements::codeText(10, QStringLiteral("NONE"), QStringLiteral("NONE")));
        // The list of old and new codes comes from those (the generated tables have no key, so no
        // description is looked for beyond the question).
        before << statements::keyedByCode();
        const QStringList after{statements::describeDatabase(marks::converted(QDateTime::currentDateTime()))};
        for (const auto &[file, reads, marks] : {std::tuple{script, QStringList{}, QStringList{}},
                                                 std::tuple{allScript, before, after}}) {
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return 1;
            QTextStream s(&f);
            s << "SET SQL DIALECT 1;\n";
            for (const QString &read : reads)
                s << read << ";\n";
            for (int t = 0; t < shape.tables; ++t)
                s << statements::rewrite(tableName(t)) << ";\n";
            for (const QString &mark : marks)
                s << mark << ";\n";
            s << "COMMIT;\n";
        }
        const int repeats = quick ? 1 : qint64(shape.tables) * shape.rows >= 100000 ? 3 : 15;
        std::vector<double> runs, engines, alls, checks, withList, withoutList;
        // The first run in this process also loads the engine: not the list's to pay.
        QFile::copy(templ, dir.filePath(QStringLiteral("warm.fb")));
        if (timedRun(dir.filePath(QStringLiteral("warm.fb")), false) < 0)
            return 1;
        QFile::remove(dir.filePath(QStringLiteral("warm.fb")));
        long peak = 0;
        const QStringList login = isqlLogin + QStringList{QStringLiteral("-i")};
        for (int r = 0; r < repeats; ++r) {
            const QString a = dir.filePath(QStringLiteral("run.fb")), b = dir.filePath(QStringLiteral("engine.fb")),
                          c = dir.filePath(QStringLiteral("all.fb")), d = dir.filePath(QStringLiteral("check.fb"));
            for (const QString &copy : {a, b, c, d}) {
                QFile::remove(copy);
                QFile::copy(templ, copy);
            }
            if (!runInTurn({Timed{convert, {QStringLiteral("--convert"), QStringLiteral("--no-copy"), a}, &runs},
                            Timed{isqlProgram, login + QStringList{script, b}, &engines},
                            Timed{isqlProgram, login + QStringList{allScript, c}, &alls},
                            Timed{convert, {QStringLiteral("--check"), d}, &checks}},
                           r, &runs, peak))
                return 1;
            // The list's share, each going first in turn.
            for (int turn = 0; turn < 2; ++turn) {
                const bool listed = (turn + r) % 2 == 0;
                const QString file = dir.filePath(listed ? QStringLiteral("listed.fb") : QStringLiteral("unlisted.fb"));
                QFile::remove(file);
                QFile::copy(templ, file);
                ::sync();
                const double seconds = timedRun(file, listed);
                if (seconds < 0) {
                    std::fprintf(stderr, "failed: the run in this process on %s\n", qPrintable(file));
                    return 1;
                }
                (listed ? withList : withoutList).push_back(seconds);
            }
        }
        const double run = median(runs), engine = median(engines), all = median(alls), check = median(checks);
        const double listShare = median(withList) / median(withoutList) - 1;
        out << QStringLiteral("| %1 tables x %2 rows | %3 s | %4 s | %5 | %6 s | %7 | %8 s | %9 | %10% | %11 MiB |\n")
                   .arg(QLocale(QLocale::English).toString(shape.tables), QLocale(QLocale::English).toString(shape.rows))
                   .arg(run, 0, 'f', 2)
                   .arg(engine, 0, 'f', 2)
                   .arg(run / engine, 0, 'f', 2)
                   .arg(all, 0, 'f', 2)
                   .arg(run / all, 0, 'f', 2)
                   .arg(check, 0, 'f', 2)
                   .arg(check / run, 0, 'f', 2)
                   .arg(listShare * 100, 0, 'f', 1)
                   .arg(peak / 1024.0, 0, 'f', 1);
        std::printf("%s\n", qPrintable(table.section(u'\n', -2, -2)));
        std::fflush(stdout);
        timings.push_back({shape.tables, shape.rows, QFileInfo(templ).size(), run});
        if (largest.isEmpty())
            largest = templ;
    }

    // The shop's shape: the run (its list included) beside the same conversion by hand, and the
    // check; at two sizes, the second with ten times the first's movements and sale items.
    out << "\n| shop | run | by hand | ratio | check | check to run | peak |\n|---|---|---|---|---|---|---|\n";
    for (const int scale : quick ? std::vector<int>{1} : std::vector<int>{1, 10}) {
        // A shop sells and stocks the same few thousand products over and over.
        const int products = 5000, items = 30000 * scale, movements = 30000 * scale;
        const QString templ = dir.filePath(QStringLiteral("loja-%1.fb").arg(scale));
        if (!generateShop(templ, products, items, movements))
            return 1;
        if (args.contains(QStringLiteral("--keep")))
            QFile::copy(templ, QStringLiteral("/tmp/loja-%1.fb").arg(scale));
        const QString script = dir.filePath(QStringLiteral("a-mao.sql"));
        {
            QFile f(script);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return 1;
            f.write(shopByHand().toUtf8());
        }
        std::vector<double> runs, hands, checks;
        long peak = 0;
        const int repeats = quick ? 1 : 3;
        for (int r = 0; r < repeats; ++r) {
            const QString a = dir.filePath(QStringLiteral("loja-run.fb")), b = dir.filePath(QStringLiteral("loja-mao.fb")),
                          c = dir.filePath(QStringLiteral("loja-check.fb"));
            for (const QString &copy : {a, b, c}) {
                QFile::remove(copy);
                QFile::copy(templ, copy);
            }
            if (!runInTurn({Timed{convert, {QStringLiteral("--convert"), QStringLiteral("--no-copy"), a}, &runs},
                            Timed{isqlProgram, isqlLogin + QStringList{QStringLiteral("-i"), script, b}, &hands},
                            Timed{convert, {QStringLiteral("--check"), c}, &checks}},
                           r, &runs, peak))
                return 1;
        }
        const double run = median(runs), hand = median(hands), check = median(checks);
        out << QStringLiteral("| %1 products, %2 sale items, %3 movements (%4 MiB) | %5 s | %6 s | %7 | %8 s | %9 | %10 MiB |\n")
                   .arg(QLocale(QLocale::English).toString(products), QLocale(QLocale::English).toString(items),
                        QLocale(QLocale::English).toString(movements))
                   .arg(QFileInfo(templ).size() / 1048576.0, 0, 'f', 0)
                   .arg(run, 0, 'f', 2)
                   .arg(hand, 0, 'f', 2)
                   .arg(run / hand, 0, 'f', 2)
                   .arg(check, 0, 'f', 2)
                   .arg(check / run, 0, 'f', 2)
                   .arg(peak / 1024.0, 0, 'f', 1);
        std::printf("%s\n", qPrintable(table.section(u'\n', -2, -2)));
        std::fflush(stdout);
    }

    if (shopOnly)
        return 0;
    // The safety copy of the largest file beside cp --reflink=auto and sync, taking turns.
    std::vector<double> copies, cps;
    const int copyRepeats = quick ? 1 : 5;
    for (int r = 0; r < copyRepeats; ++r) {
        const QString ours = dir.filePath(QStringLiteral("copia-nossa.fb")), theirs = dir.filePath(QStringLiteral("copia-cp.fb"));
        for (int turn = 0; turn < 2; ++turn) {
            QFile::remove(ours);
            QFile::remove(theirs);
            ::sync();
            if ((turn + r) % 2 == 0) {
                QElapsedTimer timer;
                timer.start();
                safetycopy::copyFile(largest, ours, [](int) {});
                copies.push_back(timer.nsecsElapsed() / 1e9);
            } else {
                const Child child = runChild(QStringLiteral("/bin/sh"),
                                             {QStringLiteral("-c"), QStringLiteral("cp --reflink=auto \"$0\" \"$1\" && sync"),
                                              largest, theirs});
                if (child.status != 0)
                    return 1;
                cps.push_back(child.seconds);
            }
        }
    }
    const double copy = median(copies), cp = median(cps);
    const QString copyLine = QStringLiteral("Safety copy of the %1 MiB file: %2 s, beside cp --reflink=auto and sync: %3 s (ratio %4).\n")
                                 .arg(QFileInfo(largest).size() / 1048576.0, 0, 'f', 0)
                                 .arg(copy, 0, 'f', 2)
                                 .arg(cp, 0, 'f', 2)
                                 .arg(copy / cp, 0, 'f', 2);
    out << "\n" << copyLine;
    std::printf("%s", qPrintable(copyLine));
    double serverCopy = 0;
    const QString serverLine = serverCopyLine(largest, copy, copyRepeats, serverCopy, convert);
    out << serverLine;
    std::printf("%s", qPrintable(serverLine));
    const QString big = dir.filePath(QStringLiteral("long.fb"));
    if (!generate(big, 1, longTable))
        return 1;
    bool converted = false;
    const qint64 gap = longestUnanswered(big, converted);
    if (!converted)
        return 1;
    const QString gapLine = QStringLiteral("Longest time the window's event loop went unanswered during a run over one table of "
                                           "%1 rows: %2 ms.\n")
                                .arg(QLocale(QLocale::English).toString(longTable))
                                .arg(gap);
    out << gapLine;
    std::printf("%s", qPrintable(gapLine));
    if (!readme.isEmpty() && !replaceBlock(readme, QStringLiteral("bench_run"), table))
        return 1;
    if (!guide.isEmpty() && !replaceBlock(guide, QStringLiteral("bench_run"), guideText(timings, copy, serverCopy)))
        return 1;
    return 0;
}
