#include "fbhandles.h"

#include "fbstatus.h"

#include <algorithm>

using namespace Firebird;

namespace fb {

void Status::check() const
{
    if (failed())
        throw fbstatus::error(*api_, errors());
}

namespace detail {

namespace {

// Ends an object; one the library could not end cleanly is still let go of.
template <class T, class End> void endQuietly(const FbApi &api, T *object, End end) noexcept
{
    Status status(api);
    end(object, &status);
    if (status.failed())
        object->release();
}

} // namespace

void detach(const FbApi &api, IAttachment *object) noexcept
{
    endQuietly(api, object, [](IAttachment *o, CheckStatusWrapper *s) { o->detach(s); });
}

void rollback(const FbApi &api, ITransaction *object) noexcept
{
    endQuietly(api, object, [](ITransaction *o, CheckStatusWrapper *s) { o->rollback(s); });
}

void free(const FbApi &api, IStatement *object) noexcept
{
    endQuietly(api, object, [](IStatement *o, CheckStatusWrapper *s) { o->free(s); });
}

void close(const FbApi &api, IResultSet *object) noexcept
{
    endQuietly(api, object, [](IResultSet *o, CheckStatusWrapper *s) { o->close(s); });
}

} // namespace detail

// ---- Attachment

void Attachment::attach(const QByteArray &database, const std::string &dpb)
{
    h_.reset();
    Status status(api());
    IAttachment *attached = api().dispatcher->attachDatabase(&status, database.constData(), unsigned(dpb.size()),
                                                             reinterpret_cast<const unsigned char *>(dpb.data()));
    status.check();
    h_.reset(attached);
}

void Attachment::cancel(int mode)
{
    Status status(api());
    get()->cancelOperation(&status, mode);
}

void Attachment::drop()
{
    Status status(api());
    get()->dropDatabase(&status);
    status.check();
    // Dropped, the library has let go of the attachment itself.
    h_.forget();
}

QByteArray Attachment::readBlob(Transaction &transaction, const ISC_QUAD &id)
{
    Status status(api());
    ISC_QUAD blobId = id;
    IBlob *blob = get()->openBlob(&status, transaction.get(), &blobId, 0, nullptr);
    status.check();
    QByteArray content;
    char segment[16384];
    for (;;) {
        unsigned length = 0;
        const int result = blob->getSegment(&status, sizeof segment, segment, &length);
        if (result != IStatus::RESULT_OK && result != IStatus::RESULT_SEGMENT)
            break;
        content.append(segment, qsizetype(length));
    }
    Status closing(api());
    blob->close(&closing);
    if (closing.failed())
        blob->release();
    status.check();
    return content;
}

// ---- Transaction

void Transaction::start(Attachment &attachment, const std::string &tpb)
{
    h_.reset();
    Status status(h_.api());
    ITransaction *started =
        attachment.get()->startTransaction(&status, unsigned(tpb.size()), reinterpret_cast<const unsigned char *>(tpb.data()));
    status.check();
    h_.reset(started);
}

void Transaction::commit()
{
    Status status(h_.api());
    h_.get()->commit(&status);
    status.check();
    h_.forget(); // a committed transaction is released by the library
}

void Transaction::rollback()
{
    Status status(h_.api());
    h_.get()->rollback(&status);
    status.check();
    h_.forget();
}

// ---- ResultArea

void ResultArea::setMetadata(IMessageMetadata *metadata)
{
    if (metadata_)
        metadata_->release();
    metadata_ = metadata;
}

void ResultArea::layOut(const FbApi &api, IMessageMetadata *metadata)
{
    setMetadata(metadata);
    columns_.clear();
    buffer_.clear();
    if (!metadata)
        return;
    Status status(api);
    const unsigned count = metadata->getCount(&status);
    for (unsigned i = 0; i < count; ++i) {
        Column c;
        c.name = QString::fromUtf8(metadata->getAlias(&status, i));
        c.type = metadata->getType(&status, i) & ~1u;
        c.subType = metadata->getSubType(&status, i);
        c.scale = metadata->getScale(&status, i);
        c.length = metadata->getLength(&status, i);
        c.offset = metadata->getOffset(&status, i);
        c.nullOffset = metadata->getNullOffset(&status, i);
        columns_.push_back(std::move(c));
    }
    buffer_.assign(metadata->getMessageLength(&status), 0);
    status.check();
}

bool ResultArea::isNull(int i) const
{
    short indicator = 0;
    std::copy_n(buffer_.data() + columns_[std::size_t(i)].nullOffset, sizeof indicator,
                reinterpret_cast<unsigned char *>(&indicator));
    return indicator != 0;
}

// ---- Statement

void Statement::prepare(Attachment &attachment, Transaction &transaction, const QByteArray &sql, int dialect,
                        ResultArea &out)
{
    cursor_.reset();
    h_.reset();
    Status status(api());
    IStatement *prepared = attachment.get()->prepare(&status, transaction.get(), 0, sql.constData(), unsigned(dialect),
                                                     IStatement::PREPARE_PREFETCH_TYPE
                                                         | IStatement::PREPARE_PREFETCH_OUTPUT_PARAMETERS);
    status.check();
    h_.reset(prepared);
    const int kind = type();
    if (kind == isc_info_sql_stmt_select || kind == isc_info_sql_stmt_select_for_upd) {
        IMessageMetadata *metadata = h_.get()->getOutputMetadata(&status);
        status.check();
        out.layOut(api(), metadata);
    } else {
        out.layOut(api(), nullptr);
    }
}

void Statement::execute(Transaction &transaction)
{
    Status status(api());
    h_.get()->execute(&status, transaction.get(), nullptr, nullptr, nullptr, nullptr);
    status.check();
}

void Statement::open(Transaction &transaction, ResultArea &out)
{
    cursor_.reset();
    Status status(api());
    IResultSet *cursor = h_.get()->openCursor(&status, transaction.get(), nullptr, nullptr, out.metadata(), 0);
    status.check();
    cursor_.reset(cursor);
}

bool Statement::fetch(ResultArea &out)
{
    Status status(api());
    const int result = cursor_.get()->fetchNext(&status, out.buffer());
    status.check();
    return result == IStatus::RESULT_OK;
}

void Statement::closeCursor()
{
    if (!cursor_.get())
        return;
    Status status(api());
    cursor_.get()->close(&status);
    if (status.failed()) {
        cursor_.reset();
        status.check();
    }
    cursor_.forget(); // a closed cursor is released by the library
}

int Statement::type()
{
    Status status(api());
    const unsigned kind = h_.get()->getType(&status);
    status.check();
    return int(kind);
}

std::int64_t Statement::rowsAffected()
{
    Status status(api());
    const ISC_UINT64 rows = h_.get()->getAffectedRecords(&status);
    status.check();
    return std::int64_t(rows);
}

} // namespace fb
