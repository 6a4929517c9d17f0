#include "enginerules.h"

#include "params.h"

#include <QRegularExpression>

namespace enginerules {

Rule classify(const QString &sql)
{
    static const QRegularExpression triggerSwitch(
        QStringLiteral("^\\s*update\\s+rdb\\$triggers\\s+set\\s+rdb\\$trigger_inactive\\s*=\\s*([01])\\s+where\\s+(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression systemWrite(
        QStringLiteral("^\\s*(update|insert\\s+into|delete\\s+from|update\\s+or\\s+insert\\s+into)\\s+rdb\\$"),
        QRegularExpression::CaseInsensitiveOption);

    // Most statements are none of these: only a short text can be "Commit", and the others
    // name a system table.
    if (sql.size() > 40 && !sql.contains(QLatin1String("rdb$"), Qt::CaseInsensitive))
        return {};
    QString bare = trimControl(sql);
    if (bare.endsWith(u';'))
        bare = trimControl(bare.chopped(1));
    bare = bare.simplified().toUpper();
    if (bare == QLatin1String("COMMIT") || bare == QLatin1String("COMMIT WORK"))
        return {Kind::Commit};
    if (bare == QLatin1String("ROLLBACK") || bare == QLatin1String("ROLLBACK WORK"))
        return {Kind::Rollback};
    if (const QRegularExpressionMatch m = triggerSwitch.match(sql); m.hasMatch())
        return {Kind::TriggerSwitch, m.captured(1) == QLatin1String("1"), trimControl(m.captured(2))};
    if (systemWrite.match(sql).hasMatch())
        return {Kind::SystemWrite};
    return {};
}

} // namespace enginerules
