#include "fbstatus.h"

#include "engineenv.h"

#include <QStringList>

namespace fbstatus {

namespace {

QList<long> codes(const ISC_STATUS *status)
{
    QList<long> all;
    for (const ISC_STATUS *p = status; *p != isc_arg_end;) {
        const ISC_STATUS kind = *p++;
        if (kind == isc_arg_gds && *p != 0)
            all << long(*p);
        p += kind == isc_arg_cstring ? 2 : 1;
    }
    return all;
}

} // namespace

TDBXError error(const FbApi &api, const ISC_STATUS *status)
{
    QStringList lines;
    const ISC_STATUS *p = status;
    char buffer[1024];
    while (api.fb_interpret(buffer, sizeof buffer, &p) > 0)
        lines << QString::fromUtf8(buffer);
    if (const QString note = engine::missingSettingsNote(); !note.isEmpty())
        lines << note;
    return TDBXError(dbx::VendorError, lines.join(u'\n'), codes(status));
}

} // namespace fbstatus
