#pragma once
// The client library's objects, each owned by one small class: moved but never copied,
// let go of when its owner goes, and an open transaction rolled back.

#include "fbapi.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fb {

// A status for one call, given back when it goes; check() turns a failure into TDBXError.
class Status final {
public:
    explicit Status(const FbApi &api) : api_(&api), status_(api.master->getStatus()), wrapper_(status_) {}
    Status(const Status &) = delete;
    Status &operator=(const Status &) = delete;
    ~Status() { status_->dispose(); }

    Firebird::CheckStatusWrapper *operator&() { return &wrapper_; }
    bool failed() const { return (wrapper_.getState() & Firebird::IStatus::STATE_ERRORS) != 0; }
    // The engine's status vector (isc_arg_gds, code, ...), as the rest of the library knows it.
    const ISC_STATUS *errors() const { return wrapper_.getErrors(); }
    void check() const;

private:
    const FbApi *api_;
    Firebird::IStatus *status_;
    Firebird::CheckStatusWrapper wrapper_;
};

namespace detail {

void detach(const FbApi &api, Firebird::IAttachment *object) noexcept;
void rollback(const FbApi &api, Firebird::ITransaction *object) noexcept;
void free(const FbApi &api, Firebird::IStatement *object) noexcept;
void close(const FbApi &api, Firebird::IResultSet *object) noexcept;

// What every handle class shares: one object, handed on by a move, let go of by Release when
// it goes or is assigned over.
template <class T, void (*Release)(const FbApi &, T *) noexcept> class Owned final {
public:
    explicit Owned(const FbApi &api) : api_(&api) {}
    Owned(Owned &&other) noexcept : api_(other.api_), object_(std::exchange(other.object_, nullptr)) {}
    Owned &operator=(Owned &&other) noexcept
    {
        if (this != &other) {
            reset();
            api_ = other.api_;
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned() { reset(); }

    void reset(T *object = nullptr) noexcept
    {
        if (object_)
            Release(*api_, object_);
        object_ = object;
    }
    // Hands the object over without letting go of it (the library has released it).
    void forget() noexcept { object_ = nullptr; }
    const FbApi &api() const { return *api_; }
    T *get() const { return object_; }

private:
    const FbApi *api_;
    T *object_ = nullptr;
};

} // namespace detail

class Transaction;

class Attachment final {
public:
    explicit Attachment(const FbApi &api) : h_(api) {}

    // A refusal comes as TDBXError with the engine's codes: the caller decides what it means.
    void attach(const QByteArray &database, const std::string &dpb);
    // Asks the engine to stop what runs on this attachment (safe from another thread).
    void cancel(int mode);
    // Deletes the database attached, letting go of the attachment; a refusal comes as TDBXError
    // and leaves it attached.
    void drop();
    // The whole content of a blob of the transaction.
    QByteArray readBlob(Transaction &transaction, const ISC_QUAD &id);
    bool attached() const { return h_.get() != nullptr; }
    Firebird::IAttachment *get() const { return h_.get(); }
    const FbApi &api() const { return h_.api(); }

private:
    detail::Owned<Firebird::IAttachment, detail::detach> h_;
};

class Transaction final {
public:
    explicit Transaction(const FbApi &api) : h_(api) {}

    void start(Attachment &attachment, const std::string &tpb);
    void commit();
    void rollback();
    bool active() const { return h_.get() != nullptr; }
    Firebird::ITransaction *get() const { return h_.get(); }

private:
    detail::Owned<Firebird::ITransaction, detail::rollback> h_; // work still open at the end is undone
};

// One column of a result: where its value lies in a fetched row, and how it is stored.
struct Column {
    QString name;
    unsigned type = 0; // SQL_TEXT, SQL_VARYING, ... (without the nullable bit)
    int subType = 0;   // with SQL_BLOB: isc_blob_text for text
    int scale = 0;
    unsigned length = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
};

// The buffer a prepared statement's result rows are fetched into, and its columns.
class ResultArea final {
public:
    ResultArea() = default;
    ResultArea(const ResultArea &) = delete;
    ResultArea &operator=(const ResultArea &) = delete;
    ~ResultArea() { setMetadata(nullptr); }

    // Takes over metadata (one reference) and lays out the buffer for it.
    void layOut(const FbApi &api, Firebird::IMessageMetadata *metadata);
    int columns() const { return int(columns_.size()); }
    const Column &column(int i) const { return columns_[std::size_t(i)]; }
    bool isNull(int i) const;
    const unsigned char *data(int i) const { return buffer_.data() + columns_[std::size_t(i)].offset; }
    Firebird::IMessageMetadata *metadata() const { return metadata_; }
    unsigned char *buffer() { return buffer_.data(); }

private:
    void setMetadata(Firebird::IMessageMetadata *metadata);
    Firebird::IMessageMetadata *metadata_ = nullptr;
    std::vector<Column> columns_;
    std::vector<unsigned char> buffer_;
};

class Statement final {
public:
    explicit Statement(const FbApi &api) : h_(api), cursor_(api) {}

    // Prepares sql; a statement that returns rows lays out its rows in out.
    void prepare(Attachment &attachment, Transaction &transaction, const QByteArray &sql, int dialect,
                 ResultArea &out);
    // Runs a statement that returns no rows.
    void execute(Transaction &transaction);
    // Runs a statement that returns rows, opening its cursor.
    void open(Transaction &transaction, ResultArea &out);
    // True when a row was fetched into out, false at the end of the result.
    bool fetch(ResultArea &out);
    void closeCursor();
    // The engine's statement type (isc_info_sql_stmt_...).
    int type();
    // Rows the last execution inserted, updated or deleted.
    std::int64_t rowsAffected();

private:
    const FbApi &api() const { return h_.api(); }
    detail::Owned<Firebird::IStatement, detail::free> h_;
    detail::Owned<Firebird::IResultSet, detail::close> cursor_;
};

} // namespace fb
