#include "fbstatus.h"

#include "engineenv.h"

#include <QStringList>

namespace fbstatus {

QList<EngineError> errors(const ISC_STATUS *status)
{
    QList<EngineError> all;
    for (const ISC_STATUS *p = status; *p != isc_arg_end;) {
        const ISC_STATUS kind = *p++;
        switch (kind) {
        case isc_arg_gds:
            if (*p != 0)
                all.append({long(*p), {}, 0});
            ++p;
            break;
        case isc_arg_string:
        case isc_arg_interpreted:
            // The status vector holds its texts' addresses as integers.
            if (!all.isEmpty())
                all.last().arguments << QString::fromUtf8(reinterpret_cast<const char *>(*p)); // NOLINT(performance-no-int-to-ptr)
            ++p;
            break;
        case isc_arg_cstring:
            if (!all.isEmpty())
                all.last().arguments << QString::fromUtf8(reinterpret_cast<const char *>(p[1]), qsizetype(p[0])); // NOLINT(performance-no-int-to-ptr)
            p += 2;
            break;
        case isc_arg_number:
            if (!all.isEmpty())
                all.last().arguments << long(*p);
            ++p;
            break;
        case isc_arg_unix:
            if (!all.isEmpty() && all.last().systemError == 0)
                all.last().systemError = int(*p);
            ++p;
            break;
        default: // the SQL state, warnings and other systems' errors: one value each
            ++p;
            break;
        }
    }
    return all;
}

TDBXError error(const FbApi &api, const ISC_STATUS *status)
{
    QStringList lines;
    const ISC_STATUS *p = status;
    char buffer[1024];
    while (api.fb_interpret(buffer, sizeof buffer, &p) > 0)
        lines << QString::fromUtf8(buffer);
    if (const QString note = engine::missingSettingsNote(); !note.isEmpty())
        lines << note;
    return TDBXError(dbx::VendorError, lines.join(u'\n'), errors(status));
}

} // namespace fbstatus
