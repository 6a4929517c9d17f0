#include "fboptions.h"

#include "dbxlayer.h"
#include "errors.h"
#include "filenames.h"

#include <ibase.h>

#include <algorithm>

namespace fb {

namespace {

QString entry(const dbx::EntryList &entries, const char *key)
{
    for (const dbx::Entry &e : entries)
        if (e.name.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
            return e.value;
    return {};
}

// A value the block's one length byte cannot hold is refused: cut, a password or a user would
// be another, refused by the engine for a reason nobody could see.
void addString(std::string &block, char tag, const QString &text, const char *what)
{
    const QByteArray value = text.toUtf8();
    if (value.size() > 255)
        throw TDBXError(dbx::VendorError, QStringLiteral("%1 tem %2 bytes, e o Firebird aceita no máximo 255.")
                                               .arg(QString::fromUtf8(what))
                                               .arg(value.size()));
    block += tag;
    block += char(value.size());
    block.append(value.constData(), std::size_t(value.size()));
}

// A 4-byte integer, least significant byte first.
void addInteger(std::string &block, char tag, int value)
{
    block += tag;
    block += char(4);
    for (int i = 0; i < 4; ++i)
        block += char((value >> (8 * i)) & 0xff);
}

} // namespace

ConnectOptions ConnectOptions::parse(const dbx::EntryList &entries)
{
    ConnectOptions o;
    o.database = entry(entries, "Database");
    o.user = entry(entries, "User_Name");
    o.password = entry(entries, "Password");
    o.role = entry(entries, "RoleName");
    if (o.role.isEmpty())
        o.role = entry(entries, "Role");
    o.charset = entry(entries, "ServerCharSet");
    bool ok = false;
    const int dialect = entry(entries, "SQLDialect").toInt(&ok);
    o.dialect = ok && dialect >= 1 && dialect <= 3 ? dialect : 3;
    o.repeatableRead = entry(entries, "IsolationLevel").compare(QLatin1String("RepeatableRead"), Qt::CaseInsensitive) == 0;
    o.waitOnLocks = entry(entries, "WaitOnLocks").compare(QLatin1String("False"), Qt::CaseInsensitive) != 0;
    o.readOnly = entry(entries, "ReadOnly").compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
    o.databaseTriggers = entry(entries, "DatabaseTriggers").compare(QLatin1String("False"), Qt::CaseInsensitive) != 0;
    if (const int seconds = entry(entries, "ConnectTimeout").toInt(&ok); ok && seconds > 0)
        o.connectTimeout = seconds;
    return o;
}

std::string ConnectOptions::dpb(const QString &database) const
{
    std::string dpb(1, char(isc_dpb_version1));
    // A name that is no UTF-8 goes as its bytes, which the engine then takes as they are.
    if (filenames::isUtf8(database)) {
        dpb += char(isc_dpb_utf8_filename);
        dpb += char(0);
    }
    addString(dpb, isc_dpb_user_name, user, "O nome do usuário");
    addString(dpb, isc_dpb_password, password, "A senha");
    if (!role.isEmpty())
        addString(dpb, isc_dpb_sql_role_name, role, "O papel (role)");
    if (!charset.isEmpty())
        addString(dpb, isc_dpb_lc_ctype, charset, "O conjunto de caracteres");
    addInteger(dpb, isc_dpb_sql_dialect, dialect);
    addInteger(dpb, isc_dpb_connect_timeout, connectTimeout);
    if (!databaseTriggers) {
        dpb += char(isc_dpb_no_db_triggers);
        dpb += char(1);
        dpb += char(1);
    }
    if (engineOnly)
        addString(dpb, isc_dpb_config, QStringLiteral("Providers = Engine12"), "A configuração");
    return dpb;
}

std::string ConnectOptions::tpb() const
{
    std::string tpb{char(isc_tpb_version3), char(readOnly ? isc_tpb_read : isc_tpb_write)};
    if (repeatableRead) {
        tpb += char(isc_tpb_concurrency);
    } else {
        tpb += char(isc_tpb_read_committed);
        tpb += char(isc_tpb_rec_version);
    }
    tpb += char(waitOnLocks ? isc_tpb_wait : isc_tpb_nowait);
    return tpb;
}

} // namespace fb
