#include "fbclientlayer.h"

#include "errors.h"
#include "params.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <ibase.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <unistd.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using dbx::Handle;

#define FB_API_FUNCTIONS(X)                                                                        \
    X(isc_attach_database)                                                                         \
    X(isc_detach_database)                                                                         \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_rollback_transaction)                                                                    \
    X(isc_dsql_allocate_statement)                                                                 \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_describe)                                                                           \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_fetch)                                                                              \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_dsql_execute_immediate)                                                                  \
    X(fb_interpret)                                                                                \
    X(isc_vax_integer)

struct FbApi {
#define FB_DECLARE(name) decltype(&::name) name = nullptr;
    FB_API_FUNCTIONS(FB_DECLARE)
#undef FB_DECLARE
};

namespace {

// ---- the one funnel from an engine status to an exception

QString interpret(const FbApi &api, const ISC_STATUS *status)
{
    QStringList lines;
    const ISC_STATUS *p = status;
    char buffer[1024];
    while (api.fb_interpret(buffer, sizeof buffer, &p) > 0)
        lines << QString::fromUtf8(buffer);
    return lines.join(u'\n');
}

void checkStatus(const FbApi &api, const ISC_STATUS *status)
{
    if (status[0] == 1 && status[1] != 0)
        throw TDBXError(dbx::VendorError, interpret(api, status));
}

bool hasCode(const ISC_STATUS *status, ISC_STATUS code)
{
    for (const ISC_STATUS *p = status; *p != isc_arg_end;) {
        const ISC_STATUS kind = *p++;
        if (kind == isc_arg_gds && *p == code)
            return true;
        p += kind == isc_arg_cstring ? 2 : 1;
    }
    return false;
}

// ---- client handles, each owned by one small class

class Attachment final {
public:
    explicit Attachment(const FbApi &api) : api_(&api) {}
    Attachment(Attachment &&o) noexcept : api_(o.api_), h_(std::exchange(o.h_, 0)) {}
    Attachment &operator=(Attachment &&) = delete;
    ~Attachment() noexcept
    {
        if (h_) {
            ISC_STATUS_ARRAY status;
            api_->isc_detach_database(status, &h_);
        }
    }
    // Leaves the engine's answer in status; the caller decides what a refusal means.
    void attach(const QByteArray &database, const std::string &dpb, ISC_STATUS *status)
    {
        api_->isc_attach_database(status, 0, database.constData(), &h_, short(dpb.size()), dpb.data());
    }
    isc_db_handle *get() { return &h_; }

private:
    const FbApi *api_;
    isc_db_handle h_ = 0;
};

class Transaction final {
public:
    explicit Transaction(const FbApi &api) : api_(&api) {}
    Transaction(Transaction &&o) noexcept : api_(o.api_), h_(std::exchange(o.h_, 0)) {}
    Transaction &operator=(Transaction &&) = delete;
    // Work still open at the end is undone.
    ~Transaction() noexcept
    {
        if (h_) {
            ISC_STATUS_ARRAY status;
            api_->isc_rollback_transaction(status, &h_);
        }
    }
    void start(isc_db_handle *db, const std::string &tpb)
    {
        struct {
            isc_db_handle *db;
            long length;
            const char *tpb;
        } teb{db, long(tpb.size()), tpb.data()};
        ISC_STATUS_ARRAY status;
        api_->isc_start_multiple(status, &h_, 1, &teb);
        checkStatus(*api_, status);
    }
    void commit()
    {
        ISC_STATUS_ARRAY status;
        api_->isc_commit_transaction(status, &h_);
        checkStatus(*api_, status);
    }
    void rollback()
    {
        ISC_STATUS_ARRAY status;
        api_->isc_rollback_transaction(status, &h_);
        checkStatus(*api_, status);
    }
    isc_tr_handle *get() { return &h_; }

private:
    const FbApi *api_;
    isc_tr_handle h_ = 0;
};

// Output row buffers of a prepared statement.
class OutputArea final {
public:
    explicit OutputArea(int columns) { resize(columns); }
    OutputArea(const OutputArea &) = delete;
    OutputArea &operator=(const OutputArea &) = delete;
    void resize(int columns)
    {
        storage_.assign(XSQLDA_LENGTH(std::max(columns, 1)), 0);
        da()->version = SQLDA_VERSION1;
        da()->sqln = short(std::max(columns, 1));
    }
    XSQLDA *da() { return reinterpret_cast<XSQLDA *>(storage_.data()); }
    void allocate()
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

private:
    std::vector<char> storage_;
    std::vector<std::vector<char>> buffers_;
    std::vector<short> indicators_;
};

class Statement final {
public:
    explicit Statement(const FbApi &api) : api_(&api) {}
    Statement(Statement &&o) noexcept : api_(o.api_), h_(std::exchange(o.h_, 0)) {}
    Statement &operator=(Statement &&) = delete;
    ~Statement() noexcept
    {
        if (h_) {
            ISC_STATUS_ARRAY status;
            api_->isc_dsql_free_statement(status, &h_, DSQL_drop);
        }
    }
    void prepare(isc_db_handle *db, isc_tr_handle *tr, const QByteArray &sql, int dialect, OutputArea &out)
    {
        ISC_STATUS_ARRAY status;
        api_->isc_dsql_allocate_statement(status, db, &h_);
        checkStatus(*api_, status);
        api_->isc_dsql_prepare(status, tr, &h_, 0, sql.constData(), (unsigned short)dialect, out.da());
        checkStatus(*api_, status);
        if (out.da()->sqld > out.da()->sqln) {
            out.resize(out.da()->sqld);
            api_->isc_dsql_describe(status, &h_, (unsigned short)dialect, out.da());
            checkStatus(*api_, status);
        }
        out.allocate();
    }
    void execute(isc_tr_handle *tr, int dialect)
    {
        ISC_STATUS_ARRAY status;
        api_->isc_dsql_execute(status, tr, &h_, (unsigned short)dialect, nullptr);
        checkStatus(*api_, status);
    }
    // True when a row was fetched, false at the end.
    bool fetch(int dialect, OutputArea &out)
    {
        ISC_STATUS_ARRAY status;
        const ISC_STATUS rc = api_->isc_dsql_fetch(status, &h_, (unsigned short)dialect, out.da());
        if (rc == 100)
            return false;
        checkStatus(*api_, status);
        return true;
    }
    void closeCursor()
    {
        ISC_STATUS_ARRAY status;
        api_->isc_dsql_free_statement(status, &h_, DSQL_close);
        checkStatus(*api_, status);
    }
    std::vector<char> info(char item)
    {
        std::vector<char> buffer(256, 0);
        ISC_STATUS_ARRAY status;
        api_->isc_dsql_sql_info(status, &h_, 1, &item, short(buffer.size()), buffer.data());
        checkStatus(*api_, status);
        return buffer;
    }
    int type()
    {
        const std::vector<char> b = info(isc_info_sql_stmt_type);
        if (b[0] != isc_info_sql_stmt_type)
            return 0;
        const int len = int(api_->isc_vax_integer(b.data() + 1, 2));
        return int(api_->isc_vax_integer(b.data() + 3, short(len)));
    }
    std::int64_t rowsAffected()
    {
        const std::vector<char> b = info(isc_info_sql_records);
        std::int64_t rows = 0;
        if (b[0] != isc_info_sql_records)
            return 0;
        std::size_t pos = 3;
        while (pos < b.size() && b[pos] != isc_info_end) {
            const char tag = b[pos];
            const int len = int(api_->isc_vax_integer(b.data() + pos + 1, 2));
            const std::int64_t value = api_->isc_vax_integer(b.data() + pos + 3, short(len));
            if (tag == isc_info_req_update_count || tag == isc_info_req_insert_count
                || tag == isc_info_req_delete_count)
                rows += value;
            pos += 3 + std::size_t(len);
        }
        return rows;
    }

private:
    const FbApi *api_;
    isc_stmt_handle h_ = 0;
};

// ---- values

struct Value {
    bool null = true;
    bool isInteger = false;
    std::int64_t integer = 0;
    QByteArray text;
};
using Row = std::vector<Value>;

QByteArray scaled(std::int64_t v, int scale)
{
    if (scale >= 0)
        return QByteArray::number(v);
    const bool negative = v < 0;
    QByteArray digits = QByteArray::number(negative ? -(v + 1) + 1 : v); // no overflow on min
    while (digits.size() <= -scale)
        digits.prepend('0');
    digits.insert(digits.size() + scale, '.');
    return negative ? '-' + digits : digits;
}

Value decode(const XSQLVAR &v)
{
    Value out;
    if ((v.sqltype & 1) && *v.sqlind < 0)
        return out;
    out.null = false;
    const char *d = v.sqldata;
    auto integer = [&](std::int64_t n) {
        out.isInteger = v.sqlscale == 0;
        out.integer = n;
        out.text = scaled(n, v.sqlscale);
    };
    switch (v.sqltype & ~1) {
    case SQL_TEXT:
        out.text = QByteArray(d, v.sqllen);
        break;
    case SQL_VARYING: {
        short len;
        std::memcpy(&len, d, 2);
        out.text = QByteArray(d + 2, len);
        break;
    }
    case SQL_SHORT: {
        short n;
        std::memcpy(&n, d, sizeof n);
        integer(n);
        break;
    }
    case SQL_LONG: {
        ISC_LONG n;
        std::memcpy(&n, d, sizeof n);
        integer(n);
        break;
    }
    case SQL_INT64: {
        ISC_INT64 n;
        std::memcpy(&n, d, sizeof n);
        integer(n);
        break;
    }
    case SQL_FLOAT: {
        float f;
        std::memcpy(&f, d, sizeof f);
        out.text = QByteArray::number(f, 'g', 7);
        break;
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double f;
        std::memcpy(&f, d, sizeof f);
        out.text = QByteArray::number(f, 'g', 15);
        break;
    }
    case SQL_BOOLEAN:
        out.text = *d ? "true" : "false";
        break;
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIME: {
        // Days since 17 November 1858 and ten-thousandths of a second since midnight.
        ISC_LONG days = 0, ticks = 0;
        const int type = v.sqltype & ~1;
        if (type != SQL_TYPE_TIME)
            std::memcpy(&days, d, 4);
        if (type == SQL_TIMESTAMP)
            std::memcpy(&ticks, d + 4, 4);
        else if (type == SQL_TYPE_TIME)
            std::memcpy(&ticks, d, 4);
        std::int64_t j = days + 2400001;
        // Julian day to the civil calendar.
        std::int64_t a = j + 32044, b = (4 * a + 3) / 146097, c = a - 146097 * b / 4;
        std::int64_t dd = (4 * c + 3) / 1461, e = c - 1461 * dd / 4, m = (5 * e + 2) / 153;
        const int day = int(e - (153 * m + 2) / 5 + 1), month = int(m + 3 - 12 * (m / 10));
        const int year = int(100 * b + dd - 4800 + m / 10);
        const int secs = ticks / 10000;
        char buffer[48];
        if (type == SQL_TYPE_DATE)
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
        else if (type == SQL_TYPE_TIME)
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", secs / 3600, secs / 60 % 60, secs % 60);
        else
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, secs / 3600,
                          secs / 60 % 60, secs % 60);
        out.text = buffer;
        break;
    }
    default:
        throw TDBXError(dbx::UnsupportedFieldType, dbxErrorDescription(dbx::UnsupportedFieldType));
    }
    return out;
}

// A plain file path, not "host:path" or a server URL.
bool isLocalPath(const QString &database)
{
    return database.startsWith(u'/') && !database.contains(QLatin1String("://"));
}

QString entry(const dbx::EntryList &entries, const QString &key)
{
    for (const dbx::Entry &e : entries)
        if (e.name.compare(key, Qt::CaseInsensitive) == 0)
            return e.value;
    return {};
}

void addString(std::string &dpb, char tag, const QByteArray &value)
{
    dpb += tag;
    dpb += char(std::min<qsizetype>(value.size(), 255));
    dpb.append(value.constData(), std::min<qsizetype>(value.size(), 255));
}

} // namespace

// ---- layer objects

struct FbClientLayer::Object {
    virtual ~Object() = default;
};

namespace {

struct Reader;

struct DriverObject final : FbClientLayer::Object {};

struct Connection final : FbClientLayer::Object {
    explicit Connection(const FbApi &api) : api(api), attachment(api) {}
    const FbApi &api;
    Attachment attachment;
    std::optional<Transaction> work;
    std::string tpb;
    int dialect = 3;
    std::vector<Handle> commands;
    std::vector<Reader *> readers;

    Transaction &workTransaction()
    {
        if (!work) {
            Transaction t(api);
            t.start(attachment.get(), tpb);
            work.emplace(std::move(t));
        }
        return *work;
    }
    void commitWork();
    void rollbackWork();
};

enum class Kind { Other, Select, Metadata, Commit, Rollback };

struct Command final : FbClientLayer::Object {
    Command(Connection &c) : connection(&c), statement(c.api), out(1) {}
    Connection *connection;
    Statement statement;
    OutputArea out;
    Kind kind = Kind::Other;
    int triggerSwitch = -1; // 0 or 1 for an UPDATE of RDB$TRIGGERS that the server may refuse
    QString triggerCondition;
    std::int64_t rows = 0;
    Handle reader = 0;
};

struct Reader final : FbClientLayer::Object {
    explicit Reader(Command &c) : command(&c) {}
    Command *command;
    bool cursorOpen = true;
    bool exhausted = false;   // the engine has said "no more rows": fetching again is an error
    std::deque<Row> buffered; // rows taken off the cursor before a commit closed it
    Row current;
    bool hasRow = false;

    Row readRow()
    {
        Row row;
        XSQLDA *d = command->out.da();
        for (int i = 0; i < d->sqld; ++i)
            row.push_back(decode(d->sqlvar[i]));
        return row;
    }
    bool fetch()
    {
        if (!buffered.empty()) {
            current = std::move(buffered.front());
            buffered.pop_front();
            return hasRow = true;
        }
        if (cursorOpen && !exhausted) {
            if (command->statement.fetch(command->connection->dialect, command->out)) {
                current = readRow();
                return hasRow = true;
            }
            exhausted = true;
        }
        current.clear();
        return hasRow = false;
    }
    void closeCursor()
    {
        if (cursorOpen) {
            cursorOpen = false;
            command->statement.closeCursor();
        }
    }
};

void Connection::commitWork()
{
    // A commit closes the engine's cursors: keep what open results still have to deliver.
    for (Reader *r : readers) {
        if (!r->cursorOpen || r->exhausted)
            continue;
        while (r->command->statement.fetch(dialect, r->command->out))
            r->buffered.push_back(r->readRow());
        r->exhausted = true;
    }
    if (work) {
        work->commit();
        work.reset();
    }
    for (Reader *r : readers)
        r->cursorOpen = false;
}

void Connection::rollbackWork()
{
    for (Reader *r : readers) {
        r->cursorOpen = false;
        r->buffered.clear();
    }
    if (work) {
        std::optional<Transaction> undone = std::move(work);
        work.reset();
        undone->rollback();
    }
}

const QRegularExpression &triggerSwitchPattern()
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*update\\s+rdb\\$triggers\\s+set\\s+rdb\\$trigger_inactive\\s*=\\s*([01])\\s+where\\s+(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return re;
}

const QRegularExpression &systemWritePattern()
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(update|insert\\s+into|delete\\s+from|update\\s+or\\s+insert\\s+into)\\s+rdb\\$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// Switches triggers on or off with ALTER TRIGGER, for servers whose system tables are read-only.
std::int64_t alterTriggers(Connection &c, int inactive, const QString &condition)
{
    Transaction own(c.api);
    own.start(c.attachment.get(), c.tpb);
    QStringList names;
    {
        Statement select(c.api);
        OutputArea out(2);
        select.prepare(c.attachment.get(), own.get(),
                       ("select rdb$trigger_name, coalesce(rdb$trigger_inactive, 0) from rdb$triggers where "
                        + condition)
                           .toUtf8(),
                       c.dialect, out);
        select.execute(own.get(), c.dialect);
        while (select.fetch(c.dialect, out)) {
            const Value name = decode(out.da()->sqlvar[0]);
            const Value state = decode(out.da()->sqlvar[1]);
            if (state.integer != inactive)
                names << trimControl(QString::fromUtf8(name.text));
        }
    }
    for (const QString &name : std::as_const(names)) {
        const QByteArray sql = ("ALTER TRIGGER " + name + (inactive ? " INACTIVE" : " ACTIVE")).toUtf8();
        ISC_STATUS_ARRAY status;
        c.api.isc_dsql_execute_immediate(status, c.attachment.get(), own.get(), 0, sql.constData(),
                                         (unsigned short)c.dialect, nullptr);
        checkStatus(c.api, status);
    }
    own.commit();
    return names.size();
}

} // namespace

// ---- the layer

FbClientLayer &FbClientLayer::instance()
{
    // Never destroyed: the client library is not unloaded while the process ends.
    static FbClientLayer *layer = new FbClientLayer;
    return *layer;
}

FbClientLayer::FbClientLayer(QString library) : library_(std::move(library)) {}

FbClientLayer::~FbClientLayer()
{
    objects_.clear();
    unloadLibrary();
}

template <class T> T *FbClientLayer::get(Handle h)
{
    const auto it = objects_.find(h);
    T *object = it == objects_.end() ? nullptr : dynamic_cast<T *>(it->second.get());
    if (!object)
        throw TDBXError(dbx::InvalidHandle, dbxErrorDescription(dbx::InvalidHandle));
    return object;
}

Handle FbClientLayer::add(std::unique_ptr<Object> object)
{
    const Handle h = nextHandle_++;
    objects_.emplace(h, std::move(object));
    return h;
}

template <class F> int FbClientLayer::guarded(Handle h, F &&body)
{
    try {
        body();
        return dbx::Ok;
    } catch (const TDBXError &e) {
        errors_[h] = e.message();
        return e.code();
    } catch (const std::bad_alloc &) {
        errors_[h].clear();
        return 2;
    }
}

dbx::LoadResult FbClientLayer::loadLibrary()
{
    if (dl_)
        return {};
    prepareEngineSettings();
    errno = 0;
    void *dl = dlopen(library_.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!dl)
        return {dbx::LoadResult::LibraryMissing, errno ? errno : ENOENT, {}};
    auto api = std::make_unique<FbApi>();
#define FB_RESOLVE(name)                                                                           \
    api->name = reinterpret_cast<decltype(api->name)>(dlsym(dl, #name));                           \
    if (!api->name) {                                                                              \
        dlclose(dl);                                                                               \
        return {dbx::LoadResult::ProcedureMissing, 0, QStringLiteral(#name)};                      \
    }
    FB_API_FUNCTIONS(FB_RESOLVE)
#undef FB_RESOLVE
    dl_ = dl;
    api_ = std::move(api);
    return {};
}

void FbClientLayer::prepareEngineSettings()
{
    // The tool's own engine settings (external functions from the engine's UDF folder),
    // unless the user has named a Firebird folder.
#ifdef CONVERSOR_FIREBIRD_ROOT
    if (qEnvironmentVariableIsEmpty("FIREBIRD") && QFileInfo::exists(QStringLiteral(CONVERSOR_FIREBIRD_ROOT "/firebird.conf")))
        qputenv("FIREBIRD", CONVERSOR_FIREBIRD_ROOT);
#endif
    // The embedded engine's lock files go to a folder of this user's: one that another user
    // (root, say) made first may not be writable. Two processes still cannot share a file,
    // which the engine locks for itself.
    if (qEnvironmentVariableIsEmpty("FIREBIRD_LOCK")) {
        const QString dir = QDir::tempPath() + QStringLiteral("/conversor-firebird-%1").arg(getuid());
        QDir().mkpath(dir);
        // Only a folder of this user's own: one that somebody else made is not trusted.
        if (QFileInfo(dir).ownerId() == getuid()) {
            QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            qputenv("FIREBIRD_LOCK", QFile::encodeName(dir));
        }
    }
}

void FbClientLayer::unloadLibrary()
{
    setDriver(0);
    api_.reset();
    if (dl_) {
        dlclose(dl_);
        dl_ = nullptr;
    }
}

int FbClientLayer::getDriver(const dbx::EntryList &, QString &errorText, Handle &driver)
{
    if (!api_) {
        errorText = dbxErrorDescription(dbx::DriverInit);
        return dbx::DriverInit;
    }
    driver = add(std::make_unique<DriverObject>());
    return dbx::Ok;
}

int FbClientLayer::createConnection(Handle driver, Handle &connection)
{
    return guarded(driver, [&] {
        get<DriverObject>(driver);
        connection = add(std::make_unique<Connection>(*api_));
    });
}

int FbClientLayer::connect(Handle connection, const dbx::EntryList &entries)
{
    return guarded(connection, [&] {
        Connection *c = get<Connection>(connection);
        bool ok = false;
        c->dialect = entry(entries, QStringLiteral("SQLDialect")).toInt(&ok);
        if (!ok || c->dialect < 1 || c->dialect > 3)
            c->dialect = 3;

        std::string dpb(1, char(isc_dpb_version1));
        dpb += char(isc_dpb_utf8_filename);
        dpb += char(0);
        addString(dpb, isc_dpb_user_name, entry(entries, QStringLiteral("User_Name")).toUtf8());
        addString(dpb, isc_dpb_password, entry(entries, QStringLiteral("Password")).toUtf8());
        QString role = entry(entries, QStringLiteral("RoleName"));
        if (role.isEmpty())
            role = entry(entries, QStringLiteral("Role"));
        if (!role.isEmpty())
            addString(dpb, isc_dpb_sql_role_name, role.toUtf8());
        const QString charset = entry(entries, QStringLiteral("ServerCharSet"));
        if (!charset.isEmpty())
            addString(dpb, isc_dpb_lc_ctype, charset.toUtf8());
        dpb += char(isc_dpb_sql_dialect);
        dpb += char(4);
        for (int i = 0; i < 4; ++i)
            dpb += char((c->dialect >> (8 * i)) & 0xff);

        const bool repeatable =
            entry(entries, QStringLiteral("IsolationLevel")).compare(QLatin1String("RepeatableRead"), Qt::CaseInsensitive) == 0;
        const bool wait =
            entry(entries, QStringLiteral("WaitOnLocks")).compare(QLatin1String("False"), Qt::CaseInsensitive) != 0;
        c->tpb = {char(isc_tpb_version3), char(isc_tpb_write)};
        if (repeatable) {
            c->tpb += char(isc_tpb_concurrency);
        } else {
            c->tpb += char(isc_tpb_read_committed);
            c->tpb += char(isc_tpb_rec_version);
        }
        c->tpb += char(wait ? isc_tpb_wait : isc_tpb_nowait);

        const QString database = entry(entries, QStringLiteral("Database"));
        if (database.isEmpty())
            throw TDBXError(34, dbxErrorDescription(34));
        ISC_STATUS_ARRAY status;
        c->attachment.attach(database.toUtf8(), dpb, status);
        // A file that a running server holds is reached through that server.
        if (status[1] == isc_io_error && hasCode(status, isc_already_opened) && isLocalPath(database)) {
            ISC_STATUS_ARRAY viaServer;
            c->attachment.attach(("localhost:" + database).toUtf8(), dpb, viaServer);
            if (viaServer[1] == 0)
                return;
        }
        checkStatus(*api_, status);
    });
}

int FbClientLayer::getIsolation(Handle connection, int &level)
{
    return guarded(connection, [&] {
        get<Connection>(connection);
        level = 0;
    });
}

int FbClientLayer::getVendorProperty(Handle connection, const QString &name, QString &value)
{
    return guarded(connection, [&] {
        const Connection *c = get<Connection>(connection);
        // Under dialect 1 double quotes delimit strings, so identifiers go unquoted.
        if (name == QLatin1String("QuoteCharEnabled"))
            value = c->dialect == 3 ? QStringLiteral("true") : QStringLiteral("false");
        else if (name == QLatin1String("ProductName"))
            value = QStringLiteral("Firebird");
        else if (name == QLatin1String("UnicodeEncoding") || name == QLatin1String("SupportsParameterMetaData"))
            value = QStringLiteral("false");
        else
            throw TDBXError(dbx::NotSupported, dbxErrorDescription(dbx::NotSupported));
    });
}

int FbClientLayer::createCommand(Handle connection, const QString &, Handle &command)
{
    return guarded(connection, [&] {
        Connection *c = get<Connection>(connection);
        command = add(std::make_unique<Command>(*c));
        c->commands.push_back(command);
    });
}

int FbClientLayer::prepare(Handle command, const QString &sql, int)
{
    return guarded(command, [&] {
        Command *cmd = get<Command>(command);
        Connection &c = *cmd->connection;
        QString bare = trimControl(sql);
        if (bare.endsWith(u';'))
            bare = trimControl(bare.chopped(1));
        bare = bare.simplified().toUpper();
        if (bare == QLatin1String("COMMIT") || bare == QLatin1String("COMMIT WORK")) {
            cmd->kind = Kind::Commit;
            return;
        }
        if (bare == QLatin1String("ROLLBACK") || bare == QLatin1String("ROLLBACK WORK")) {
            cmd->kind = Kind::Rollback;
            return;
        }
        cmd->statement.prepare(c.attachment.get(), c.workTransaction().get(), sql.toUtf8(), c.dialect, cmd->out);
        const int type = cmd->statement.type();
        if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd)
            cmd->kind = Kind::Select;
        else if (type == isc_info_sql_stmt_ddl || systemWritePattern().match(sql).hasMatch())
            cmd->kind = Kind::Metadata;
        const QRegularExpressionMatch m = triggerSwitchPattern().match(sql);
        if (m.hasMatch()) {
            cmd->triggerSwitch = m.captured(1).toInt();
            cmd->triggerCondition = m.captured(2);
        }
    });
}

int FbClientLayer::execute(Handle command, Handle &reader)
{
    reader = 0;
    return guarded(command, [&] {
        Command *cmd = get<Command>(command);
        Connection &c = *cmd->connection;
        cmd->rows = 0;
        switch (cmd->kind) {
        case Kind::Commit:
            c.commitWork();
            break;
        case Kind::Rollback:
            c.rollbackWork();
            break;
        case Kind::Select: {
            if (cmd->reader)
                close(cmd->reader);
            cmd->statement.execute(c.workTransaction().get(), c.dialect);
            auto r = std::make_unique<Reader>(*cmd);
            c.readers.push_back(r.get());
            reader = cmd->reader = add(std::move(r));
            break;
        }
        case Kind::Metadata: {
            std::optional<Transaction> own{Transaction(c.api)};
            own->start(c.attachment.get(), c.tpb);
            try {
                cmd->statement.execute(own->get(), c.dialect);
                cmd->rows = cmd->statement.rowsAffected();
                own->commit();
            } catch (const TDBXError &) {
                own.reset(); // rolls back
                if (cmd->triggerSwitch < 0)
                    throw;
                // System tables are read-only from Firebird 3 on.
                cmd->rows = alterTriggers(c, cmd->triggerSwitch, cmd->triggerCondition);
            }
            break;
        }
        case Kind::Other:
            cmd->statement.execute(c.workTransaction().get(), c.dialect);
            cmd->rows = cmd->statement.rowsAffected();
            break;
        }
    });
}

int FbClientLayer::rowsAffected(Handle command, std::int64_t &rows)
{
    return guarded(command, [&] { rows = get<Command>(command)->rows; });
}

int FbClientLayer::columnCount(Handle reader, int &count)
{
    return guarded(reader, [&] { count = get<Reader>(reader)->command->out.da()->sqld; });
}

int FbClientLayer::columnMetadata(Handle reader, int ordinal, dbx::ColumnInfo &info)
{
    return guarded(reader, [&] {
        XSQLDA *d = get<Reader>(reader)->command->out.da();
        if (ordinal < 0 || ordinal >= d->sqld)
            throw TDBXError(8, dbxErrorDescription(8));
        const XSQLVAR &v = d->sqlvar[ordinal];
        info.name = QString::fromUtf8(v.aliasname, v.aliasname_length);
        info.size = v.sqllen;
        info.scale = v.sqlscale;
        switch (v.sqltype & ~1) {
        case SQL_TEXT:
        case SQL_VARYING:
            info.kind = dbx::ColumnKind::Text;
            break;
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
            info.kind = v.sqlscale == 0 ? dbx::ColumnKind::Integer : dbx::ColumnKind::Other;
            break;
        default:
            info.kind = dbx::ColumnKind::Other;
        }
    });
}

int FbClientLayer::next(Handle reader)
{
    bool row = false;
    const int code = guarded(reader, [&] { row = get<Reader>(reader)->fetch(); });
    return code != dbx::Ok ? code : row ? dbx::Ok : dbx::EndOfRows;
}

namespace {
const Value &valueAt(Reader *r, int ordinal)
{
    if (!r->hasRow)
        throw TDBXError(dbx::EndOfRows, dbxErrorDescription(dbx::EndOfRows));
    if (ordinal < 0 || std::size_t(ordinal) >= r->current.size())
        throw TDBXError(8, dbxErrorDescription(8));
    return r->current[std::size_t(ordinal)];
}
} // namespace

int FbClientLayer::getString(Handle reader, int ordinal, QByteArray &value, bool &isNull)
{
    return guarded(reader, [&] {
        const Value &v = valueAt(get<Reader>(reader), ordinal);
        isNull = v.null;
        value = v.text;
    });
}

int FbClientLayer::getInt64(Handle reader, int ordinal, std::int64_t &value, bool &isNull)
{
    return guarded(reader, [&] {
        const Value &v = valueAt(get<Reader>(reader), ordinal);
        if (!v.null && !v.isInteger)
            throw TDBXError(7, dbxErrorDescription(7));
        isNull = v.null;
        value = v.integer;
    });
}

int FbClientLayer::errorMessageLength(Handle handle, int, int &length)
{
    const auto it = errors_.find(handle);
    length = it == errors_.end() ? 0 : int(it->second.size());
    return dbx::Ok;
}

int FbClientLayer::errorMessage(Handle handle, int, QString &text)
{
    const auto it = errors_.find(handle);
    text = it == errors_.end() ? QString() : it->second;
    return dbx::Ok;
}

int FbClientLayer::close(Handle handle)
{
    const int code = guarded(handle, [&] {
        const auto it = objects_.find(handle);
        if (it == objects_.end())
            throw TDBXError(dbx::InvalidHandle, dbxErrorDescription(dbx::InvalidHandle));
        Object *object = it->second.get();
        if (auto *r = dynamic_cast<Reader *>(object)) {
            Connection &c = *r->command->connection;
            c.readers.erase(std::remove(c.readers.begin(), c.readers.end(), r), c.readers.end());
            r->command->reader = 0;
            try {
                r->closeCursor();
            } catch (const TDBXError &) {
                // The cursor is gone with its transaction; the statement is dropped later.
            }
        } else if (auto *cmd = dynamic_cast<Command *>(object)) {
            if (cmd->reader)
                close(cmd->reader);
            auto &list = cmd->connection->commands;
            list.erase(std::remove(list.begin(), list.end(), handle), list.end());
        } else if (auto *c = dynamic_cast<Connection *>(object)) {
            const std::vector<Handle> commands = c->commands;
            for (Handle h : commands)
                close(h);
            c->work.reset(); // uncommitted work is undone before detaching
        }
    });
    objects_.erase(handle);
    if (code == dbx::Ok)
        errors_.erase(handle);
    return code;
}

int FbClientLayer::setCallbackEvent(Handle connection)
{
    return guarded(connection, [&] { get<Connection>(connection); });
}

int FbClientLayer::rollback(Handle connection)
{
    return guarded(connection, [&] { get<Connection>(connection)->rollbackWork(); });
}
