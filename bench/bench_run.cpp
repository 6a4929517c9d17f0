// Times a whole conversion run (connect step to the end, through the real code, with a window
// that draws nothing) against the engine alone running the same rewrites with isql-fb in one
// transaction, on generated databases.
//
//   bench_run [--quick]          all shapes, median of three runs each
// Each run is build/convert_file in a process of its own, timed from start to exit.
#include "statements.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

bool isql(const QString &script, const QString &database = {})
{
    QProcess p;
    QStringList args{"-q", "-user", "SYSDBA", "-password", "x"};
    if (!database.isEmpty())
        args << database;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("isql-fb"), args);
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

bool generate(const QString &file, int tables, int rows)
{
    QString sql;
    QTextStream s(&sql);
    QFile substr(QStringLiteral(SUBSTR_SQL));
    if (!substr.open(QIODevice::ReadOnly))
        return false;
    s << "SET SQL DIALECT 1;\nSET BAIL ON;\nCREATE DATABASE '" << file << "' USER 'SYSDBA' PASSWORD 'x';\n"
      << QString::fromUtf8(substr.readAll());
    for (int t = 0; t < tables; ++t)
        s << "CREATE TABLE " << tableName(t) << " (ID INTEGER, CODPROD VARCHAR(10), DESCRICAO VARCHAR(30));\n";
    s << "COMMIT;\nSET TERM ^ ;\n";
    for (int t = 0; t < tables; ++t)
        s << "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " << rows << ") DO BEGIN INSERT INTO "
          << tableName(t) << " VALUES (:I, '" << 1000000 + t << "', 'produto'); I = I + 1; END END^\n";
    s << "SET TERM ; ^\nCOMMIT;\n";
    return isql(sql);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString convert = app.applicationDirPath() + QStringLiteral("/convert_file");

    const bool quick = args.contains(QStringLiteral("--quick"));
    const int repeats = quick ? 1 : 3;
    struct Shape {
        int tables;
        int rows;
    };
    const std::vector<Shape> shapes = quick ? std::vector<Shape>{{5, 2000}, {100, 10}}
                                            : std::vector<Shape>{{50, 20000}, {1000, 10}};
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/conversor-bench-XXXXXX"));
    std::printf("%-16s %10s %10s %7s %12s\n", "shape", "run (s)", "engine (s)", "ratio", "peak (MiB)");
    for (const Shape &shape : shapes) {
        const QString templ = dir.filePath(QStringLiteral("template-%1x%2.fb").arg(shape.tables).arg(shape.rows));
        if (!generate(templ, shape.tables, shape.rows))
            return 1;
        QString rewrites = QStringLiteral("SET SQL DIALECT 1;\n");
        for (int t = 0; t < shape.tables; ++t)
            rewrites += statements::rewrite(tableName(t)) + QStringLiteral(";\n");
        rewrites += QStringLiteral("COMMIT;\n");

        std::vector<double> runs, engines;
        long peak = 0;
        for (int r = 0; r < repeats; ++r) {
            const QString a = dir.filePath(QStringLiteral("run.fb")), b = dir.filePath(QStringLiteral("engine.fb"));
            QFile::remove(a);
            QFile::remove(b);
            QFile::copy(templ, a);
            QFile::copy(templ, b);

            QProcess child;
            QElapsedTimer runTimer;
            runTimer.start();
            child.start(convert, {a});
            child.waitForFinished(-1);
            runs.push_back(runTimer.nsecsElapsed() / 1e9);
            const QString out = QString::fromUtf8(child.readAllStandardOutput());
            if (child.exitCode() != 0) {
                std::fprintf(stderr, "run failed: %s\n", qPrintable(out));
                return 1;
            }
            peak = std::max(peak, out.section(QStringLiteral("peak_kib "), 1).trimmed().toLong());

            QElapsedTimer timer;
            timer.start();
            if (!isql(rewrites, b))
                return 1;
            engines.push_back(timer.nsecsElapsed() / 1e9);
        }
        const double run = median(runs), engine = median(engines);
        std::printf("%5d x %-8d %10.2f %10.2f %7.2f %12.1f\n", shape.tables, shape.rows, run, engine, run / engine,
                    peak / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
