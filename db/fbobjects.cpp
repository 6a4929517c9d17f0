#include "fbobjects.h"

#include "errors.h"
#include "filenames.h"
#include "params.h"

#include <algorithm>

namespace fb {

namespace {

// "Commit" or "Commit Work", in any letter case, with blanks, line ends or a ";" around it.
bool isCommit(const QString &sql)
{
    if (sql.size() > 40)
        return false;
    QString bare = trimControl(sql);
    if (bare.endsWith(u';'))
        bare = trimControl(bare.chopped(1));
    bare = bare.simplified().toUpper();
    return bare == QLatin1String("COMMIT") || bare == QLatin1String("COMMIT WORK");
}

} // namespace

// ---- Connection

Connection::Connection(const FbApi &api, ConnectOptions options, const QString &database)
    : api_(api), options_(std::move(options)), attachedAs_(database), tpb_(options_.tpb()), attachment_(api)
{
    attachment_.attach(filenames::encode(database), options_.dpb(database));
}

Connection::~Connection()
{
    // Uncommitted work is undone before the attachment goes.
    work_.reset();
}

std::unique_ptr<dbx::Command> Connection::prepare(const QString &sql, int dialect)
{
    return std::make_unique<Command>(*this, sql, dialect > 0 ? dialect : options_.dialect);
}

Transaction &Connection::workTransaction()
{
    if (!work_) {
        Transaction t(api_);
        t.start(attachment_, tpb_);
        work_.emplace(std::move(t));
    }
    return *work_;
}

void Connection::commitWork()
{
    // A commit closes the engine's cursors: keep what open results still have to deliver.
    for (Reader *r : readers_)
        r->keepRest();
    if (work_) {
        work_->commit();
        work_.reset();
    }
    for (Reader *r : readers_)
        r->cursorGone();
}

void Connection::rollback()
{
    for (Reader *r : readers_) {
        r->cursorGone();
        r->dropKept();
    }
    if (work_) {
        std::optional<Transaction> undone = std::move(work_);
        work_.reset();
        undone->rollback();
    }
}

void Connection::cancel(dbx::Cancel what) noexcept
{
    attachment_.cancel(int(what));
}

void Connection::closed(Reader *reader)
{
    readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
}

// ---- Command

Command::Command(Connection &connection, const QString &sql, int dialect)
    : connection_(&connection), statement_(connection.api())
{
    if (isCommit(sql)) {
        kind_ = Kind::Commit;
        return;
    }
    Connection &c = *connection_;
    statement_.prepare(c.attachment(), c.workTransaction(), sql.toUtf8(), dialect, out_);
    const int type = statement_.type();
    if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd)
        kind_ = Kind::Select;
}

std::unique_ptr<dbx::Reader> Command::execute()
{
    Connection &c = *connection_;
    rows_ = 0;
    switch (kind_) {
    case Kind::Commit:
        c.commitWork();
        return nullptr;
    case Kind::Select:
        statement_.open(c.workTransaction(), out_);
        return std::make_unique<Reader>(*this);
    case Kind::Other:
        statement_.execute(c.workTransaction());
        rows_ = statement_.rowsAffected();
        return nullptr;
    }
    return nullptr;
}

// ---- Reader

Reader::Reader(Command &command) : command_(&command)
{
    const ResultArea &out = command.out();
    for (int i = 0; i < out.columns(); ++i) {
        const Column &c = out.column(i);
        columns_.append({c.name, kindOf(c), int(c.length), c.scale});
    }
    command.connection().opened(this);
}

Reader::~Reader()
{
    command_->connection().closed(this);
    if (cursorOpen_) {
        try {
            command_->statement().closeCursor();
        } catch (const TDBXError &) {
            // The cursor went with its transaction; the statement goes with its command.
        }
    }
}

Row Reader::readRow()
{
    Connection &c = command_->connection();
    const BlobText blobText = [&c](const ISC_QUAD &id) { return c.attachment().readBlob(c.workTransaction(), id); };
    Row row;
    for (int i = 0; i < command_->out().columns(); ++i)
        row.push_back(decode(command_->out(), i, blobText));
    return row;
}

bool Reader::next()
{
    // Rows are taken off the cursor a batch at a time: the engine walks its result once, not
    // between every other statement the caller runs.
    if (buffered_.empty()) {
        while (cursorOpen_ && !exhausted_ && buffered_.size() < batch) {
            if (command_->statement().fetch(command_->out()))
                buffered_.push_back(readRow());
            else
                exhausted_ = true;
        }
    }
    if (buffered_.empty()) {
        current_.clear();
        return hasRow_ = false;
    }
    current_ = std::move(buffered_.front());
    buffered_.pop_front();
    return hasRow_ = true;
}

dbx::Value Reader::value(int ordinal) const
{
    if (!hasRow_)
        throw TDBXError(dbx::NoMoreRows);
    if (ordinal < 0 || std::size_t(ordinal) >= current_.size())
        throw TDBXError(dbx::InvalidOrdinal);
    return current_[std::size_t(ordinal)];
}

void Reader::keepRest()
{
    if (!cursorOpen_ || exhausted_)
        return;
    while (command_->statement().fetch(command_->out()))
        buffered_.push_back(readRow());
    exhausted_ = true;
}

} // namespace fb
