#include "tempdb.h"

#include "engineenv.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

namespace {

// The engine's programs run with the tool's settings, as the program's engine does: with its
// character-set modules loaded first (engine::characterSetModules says why).
void withToolSettings(QProcess &p)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList modules = engine::characterSetModules(env.value(QStringLiteral("FIREBIRD")));
    if (!modules.isEmpty())
        env.insert(QStringLiteral("LD_PRELOAD"), modules.join(u':'));
    p.setProcessEnvironment(env);
}

TempDatabases::Isql runIsql(const QStringList &args, const QString &input)
{
    QProcess p;
    withToolSettings(p);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("isql-fb"), args);
    p.write(input.toUtf8());
    p.closeWriteChannel();
    const bool finished = p.waitForFinished(120000);
    const QString out = QString::fromUtf8(p.readAll());
    return {finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, out};
}

} // namespace

TempDatabases::TempDatabases() : dir_(QDir::tempPath() + QStringLiteral("/conversor-test-XXXXXX"))
{
    engine::prepare(QCoreApplication::applicationDirPath());
}

QString TempDatabases::create(const QString &name, const QString &script, const QString &options)
{
    const QString file = path(name);
    // The script is UTF-8; the engine stores its text in the database's own character set.
    const QString sql = QStringLiteral("SET NAMES UTF8;\nSET SQL DIALECT 1;\nSET BAIL ON;\n"
                                       "CREATE DATABASE '%1' USER 'SYSDBA' PASSWORD 'x' %2;\n%3\nCOMMIT;\n")
                            .arg(file, options, script);
    const Isql run = runIsql({QStringLiteral("-q")}, sql);
    if (run.ok && run.output.trimmed().isEmpty())
        return file;
    lastError_ = QStringLiteral("isql: ") + run.output;
    return {};
}

QString TempDatabases::createFromDialect3(const QString &name, const QString &script)
{
    const QString file = path(name);
    const Isql made = isql(QString(), QStringLiteral("CREATE DATABASE '%1' USER 'SYSDBA' PASSWORD 'x';\n%2\nCOMMIT;\n")
                                          .arg(file, script));
    QProcess gfix;
    withToolSettings(gfix);
    if (made.ok) {
        gfix.start(QStringLiteral("gfix"), {"-sql_dialect", "1", "-user", "SYSDBA", "-password", "x", file});
        if (gfix.waitForFinished() && gfix.exitStatus() == QProcess::NormalExit && gfix.exitCode() == 0)
            return file;
    }
    lastError_ = made.output + QString::fromUtf8(gfix.readAllStandardError());
    return {};
}

TempDatabases::Isql TempDatabases::isql(const QString &database, const QString &script)
{
    QStringList args{QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"), QStringLiteral("-password"),
                     QStringLiteral("x")};
    if (!database.isEmpty())
        args << database;
    return runIsql(args, QStringLiteral("SET BAIL ON;\n") + script);
}

QString TempDatabases::fixture(const QString &name)
{
    QFile f(QStringLiteral(FIXTURES_DIR "/") + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
