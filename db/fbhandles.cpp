#include "fbhandles.h"

#include "fbstatus.h"

#include <algorithm>
#include <utility>

namespace fb {

namespace detail {

void detach(const FbApi &api, isc_db_handle &h) noexcept
{
    ISC_STATUS_ARRAY status;
    api.isc_detach_database(status, &h);
}

void rollback(const FbApi &api, isc_tr_handle &h) noexcept
{
    ISC_STATUS_ARRAY status;
    api.isc_rollback_transaction(status, &h);
}

void drop(const FbApi &api, isc_stmt_handle &h) noexcept
{
    ISC_STATUS_ARRAY status;
    api.isc_dsql_free_statement(status, &h, DSQL_drop);
}

} // namespace detail

// ---- Attachment

void Attachment::attach(const QByteArray &database, const std::string &dpb, ISC_STATUS *status)
{
    h_.reset();
    h_.api().isc_attach_database(status, 0, database.constData(), get(), short(dpb.size()), dpb.data());
}

void Attachment::executeImmediate(Transaction &transaction, const QByteArray &sql, int dialect)
{
    ISC_STATUS_ARRAY status;
    h_.api().isc_dsql_execute_immediate(status, get(), transaction.get(), 0, sql.constData(), (unsigned short)dialect,
                                        nullptr);
    fbstatus::check(h_.api(), status);
}

void Attachment::cancel(int mode)
{
    ISC_STATUS_ARRAY status;
    h_.api().fb_cancel_operation(status, get(), (unsigned short)mode);
}

QPair<QString, QString> Attachment::identity()
{
    const char items[] = {isc_info_db_id, isc_info_creation_date, isc_info_end};
    char buffer[1024] = {};
    ISC_STATUS_ARRAY status;
    h_.api().isc_database_info(status, get(), short(sizeof items), items, short(sizeof buffer), buffer);
    fbstatus::check(h_.api(), status);
    QPair<QString, QString> id;
    for (const char *p = buffer; p < buffer + sizeof buffer - 3 && *p != isc_info_end;) {
        const char item = *p;
        const int length = int(h_.api().isc_vax_integer(p + 1, 2));
        const char *data = p + 3;
        if (data + length > buffer + sizeof buffer)
            break;
        if (item == isc_info_db_id && length > 1) // a count, then the file's name, length first
            id.first = QString::fromUtf8(data + 2, std::min<int>(static_cast<unsigned char>(data[1]), length - 2));
        else if (item == isc_info_creation_date && length >= 8)
            id.second = QStringLiteral("%1.%2").arg(h_.api().isc_vax_integer(data, 4)).arg(h_.api().isc_vax_integer(data + 4, 4));
        p = data + length;
    }
    return id;
}

// ---- Transaction

void Transaction::start(Attachment &attachment, const std::string &tpb)
{
    h_.reset();
    struct {
        isc_db_handle *db;
        long length;
        const char *tpb;
    } teb{attachment.get(), long(tpb.size()), tpb.data()};
    ISC_STATUS_ARRAY status;
    h_.api().isc_start_multiple(status, get(), 1, &teb);
    fbstatus::check(h_.api(), status);
}

void Transaction::commit()
{
    ISC_STATUS_ARRAY status;
    h_.api().isc_commit_transaction(status, get());
    fbstatus::check(h_.api(), status);
}

void Transaction::rollback()
{
    ISC_STATUS_ARRAY status;
    h_.api().isc_rollback_transaction(status, get());
    fbstatus::check(h_.api(), status);
}

// ---- ResultArea

void ResultArea::resize(int columns)
{
    storage_.assign(XSQLDA_LENGTH(std::max(columns, 1)), 0);
    da()->version = SQLDA_VERSION1;
    da()->sqln = short(std::max(columns, 1));
}

void ResultArea::allocate()
{
    XSQLDA *d = da();
    buffers_.assign(d->sqld, {});
    indicators_.assign(d->sqld, 0);
    for (int i = 0; i < d->sqld; ++i) {
        XSQLVAR &v = d->sqlvar[i];
        const int extra = (v.sqltype & ~1) == SQL_VARYING ? 2 : 0;
        buffers_[i].assign(std::size_t(v.sqllen) + extra + 8, 0);
        v.sqldata = buffers_[i].data();
        v.sqlind = &indicators_[i];
    }
}

// ---- Statement

void Statement::prepare(Attachment &attachment, Transaction &transaction, const QByteArray &sql, int dialect,
                        ResultArea &out)
{
    ISC_STATUS_ARRAY status;
    h_.reset();
    api().isc_dsql_allocate_statement(status, attachment.get(), h_.get());
    fbstatus::check(api(), status);
    api().isc_dsql_prepare(status, transaction.get(), h_.get(), 0, sql.constData(), (unsigned short)dialect, out.da());
    fbstatus::check(api(), status);
    if (out.da()->sqld > out.da()->sqln) {
        out.resize(out.da()->sqld);
        api().isc_dsql_describe(status, h_.get(), (unsigned short)dialect, out.da());
        fbstatus::check(api(), status);
    }
    out.allocate();
}

void Statement::execute(Transaction &transaction, int dialect)
{
    ISC_STATUS_ARRAY status;
    api().isc_dsql_execute(status, transaction.get(), h_.get(), (unsigned short)dialect, nullptr);
    fbstatus::check(api(), status);
}

bool Statement::fetch(int dialect, ResultArea &out)
{
    ISC_STATUS_ARRAY status;
    const ISC_STATUS rc = api().isc_dsql_fetch(status, h_.get(), (unsigned short)dialect, out.da());
    if (rc == 100)
        return false;
    fbstatus::check(api(), status);
    return true;
}

void Statement::closeCursor()
{
    ISC_STATUS_ARRAY status;
    api().isc_dsql_free_statement(status, h_.get(), DSQL_close);
    fbstatus::check(api(), status);
}

std::vector<char> Statement::info(char item)
{
    std::vector<char> buffer(256, 0);
    ISC_STATUS_ARRAY status;
    api().isc_dsql_sql_info(status, h_.get(), 1, &item, short(buffer.size()), buffer.data());
    fbstatus::check(api(), status);
    return buffer;
}

int Statement::type()
{
    const std::vector<char> b = info(isc_info_sql_stmt_type);
    if (b[0] != isc_info_sql_stmt_type)
        return 0;
    const int len = int(api().isc_vax_integer(b.data() + 1, 2));
    return int(api().isc_vax_integer(b.data() + 3, short(len)));
}

std::int64_t Statement::rowsAffected()
{
    const std::vector<char> b = info(isc_info_sql_records);
    if (b[0] != isc_info_sql_records)
        return 0;
    std::int64_t rows = 0;
    std::size_t pos = 3;
    while (pos + 3 <= b.size() && b[pos] != isc_info_end) {
        const char tag = b[pos];
        const int len = int(api().isc_vax_integer(b.data() + pos + 1, 2));
        const std::int64_t value = api().isc_vax_integer(b.data() + pos + 3, short(len));
        if (tag == isc_info_req_update_count || tag == isc_info_req_insert_count || tag == isc_info_req_delete_count)
            rows += value;
        pos += 3 + std::size_t(len);
    }
    return rows;
}

} // namespace fb
