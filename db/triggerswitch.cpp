#include "triggerswitch.h"

#include "engineenv.h"
#include "errors.h"
#include "fbobjects.h"
#include "params.h"
#include "triggerledger.h"

#include <QStringList>

namespace fb {

namespace {

// Every row of a two-column query, as trimmed text.
QList<QPair<QString, QString>> rows(Connection &c, Transaction &t, const QString &sql)
{
    Statement select(c.api);
    ResultArea out;
    select.prepare(c.attachment, t, sql.toUtf8(), c.options.dialect, out);
    select.open(t, out);
    QList<QPair<QString, QString>> all;
    while (select.fetch(out))
        all.append({trimControl(QString::fromUtf8(decode(out, 0).text)), trimControl(QString::fromUtf8(decode(out, 1).text))});
    return all;
}

TriggerLedger ledgerOf(Connection &c)
{
    const auto [file, created] = c.attachment.identity();
    return TriggerLedger(engine::stateFolder() + QStringLiteral("/gatilhos"), file, created);
}

void alter(Connection &c, Transaction &t, const QStringList &names, bool inactive)
{
    for (const QString &name : names)
        c.attachment.executeImmediate(t, ("ALTER TRIGGER " + name + (inactive ? " INACTIVE" : " ACTIVE")).toUtf8(),
                                      c.options.dialect);
}

} // namespace

std::int64_t switchTriggers(Connection &c, const enginerules::Rule &rule)
{
    Transaction own(c.api);
    own.start(c.attachment, c.tpb);
    const TriggerLedger ledger = ledgerOf(c);
    const QStringList recorded = ledger.names();
    QStringList active, inactive;
    for (const auto &[name, state] : rows(c, own, QStringLiteral("select rdb$trigger_name, coalesce(rdb$trigger_inactive, 0) "
                                                                 "from rdb$triggers where ") + rule.condition))
        (state == QLatin1String("0") ? active : inactive) << name;

    if (!rule.inactive) {
        QStringList switching;
        for (const QString &name : std::as_const(inactive))
            if (recorded.contains(name))
                switching << name;
        alter(c, own, switching, false);
        own.commit();
        ledger.write({});
        return switching.size();
    }

    // Switching off: a name that dialect 1 cannot write could not be switched on again.
    for (const QString &name : std::as_const(active))
        if (!isPlainIdentifier(name))
            throw TDBXError(dbx::VendorError, QStringLiteral("Nome de gatilho inválido: ") + name);
    QStringList record = recorded; // what a run cut short left off stays recorded
    for (const QString &name : std::as_const(active))
        if (!record.contains(name))
            record << name;
    ledger.write(record);
    try {
        alter(c, own, active, true);
        own.commit();
    } catch (const TDBXError &) {
        try {
            ledger.write(recorded); // nothing was switched off
        } catch (const TDBXError &) {
        }
        throw;
    }
    return active.size();
}

} // namespace fb
