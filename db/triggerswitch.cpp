#include "triggerswitch.h"

#include "fbobjects.h"
#include "params.h"

#include <QStringList>

namespace fb {

std::int64_t switchTriggers(Connection &c, const enginerules::Rule &rule)
{
    const int inactive = rule.inactive ? 1 : 0;
    const int dialect = c.options.dialect;
    Transaction own(c.api);
    own.start(c.attachment, c.tpb);
    QStringList names;
    {
        Statement select(c.api);
        ResultArea out(2);
        select.prepare(c.attachment, own,
                       ("select rdb$trigger_name, coalesce(rdb$trigger_inactive, 0) from rdb$triggers where "
                        + rule.condition)
                           .toUtf8(),
                       dialect, out);
        select.execute(own, dialect);
        while (select.fetch(dialect, out)) {
            const Value name = decode(out.column(0));
            const Value state = decode(out.column(1));
            if (state.integer != inactive)
                names << trimControl(QString::fromUtf8(name.text));
        }
    }
    for (const QString &name : std::as_const(names))
        c.attachment.executeImmediate(own, ("ALTER TRIGGER " + name + (inactive ? " INACTIVE" : " ACTIVE")).toUtf8(),
                                      dialect);
    own.commit();
    return names.size();
}

} // namespace fb
