#include "tempdb.h"

#include <QProcess>
#include <QTest>

TempDatabases::TempDatabases() : dir_(QDir::tempPath() + QStringLiteral("/conversor-test-XXXXXX")) {}

static QString runIsql(const QStringList &args, const QString &input, bool *ok)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("isql-fb"), args);
    p.write(input.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(120000);
    const QString out = QString::fromUtf8(p.readAll());
    *ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return out;
}

QString TempDatabases::create(const QString &name, const QString &script)
{
    const QString file = path(name);
    QString sql = QStringLiteral("SET SQL DIALECT 1;\nSET BAIL ON;\nCREATE DATABASE '%1' USER 'SYSDBA' PASSWORD 'x';\n%2\nCOMMIT;\n")
                      .arg(file, script);
    bool ok = false;
    const QString out = runIsql({QStringLiteral("-q")}, sql, &ok);
    if (!ok || !out.trimmed().isEmpty())
        qWarning("isql: %s", qPrintable(out));
    return ok ? file : QString();
}

QString TempDatabases::isql(const QString &database, const QString &script)
{
    bool ok = false;
    const QString out = runIsql({QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                                 QStringLiteral("-password"), QStringLiteral("x"), database},
                                QStringLiteral("SET BAIL ON;\n") + script, &ok);
    if (!ok)
        qWarning("isql: %s", qPrintable(out));
    return out;
}
