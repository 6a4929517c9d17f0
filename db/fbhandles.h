#pragma once
// The client library's handles, each owned by one small class: moved but never copied,
// released when its owner goes, and an open transaction rolled back.

#include "fbapi.h"

#include <QByteArray>
#include <QPair>
#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fb {

namespace detail {

void detach(const FbApi &api, isc_db_handle &h) noexcept;
void rollback(const FbApi &api, isc_tr_handle &h) noexcept;
void drop(const FbApi &api, isc_stmt_handle &h) noexcept;

// What every handle class shares: one handle, handed on by a move, released by Release when
// it goes or is assigned over.
template <class H, void (*Release)(const FbApi &, H &) noexcept> class Owned final {
public:
    explicit Owned(const FbApi &api) : api_(&api) {}
    Owned(Owned &&other) noexcept : api_(other.api_), h_(std::exchange(other.h_, 0)) {}
    Owned &operator=(Owned &&other) noexcept
    {
        if (this != &other) {
            reset();
            api_ = other.api_;
            h_ = std::exchange(other.h_, 0);
        }
        return *this;
    }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned() { reset(); }

    void reset() noexcept
    {
        if (h_)
            Release(*api_, h_);
        h_ = 0;
    }
    const FbApi &api() const { return *api_; }
    H *get() { return &h_; }
    H value() const { return h_; }

private:
    const FbApi *api_;
    H h_ = 0;
};

} // namespace detail

class Transaction;

class Attachment final {
public:
    explicit Attachment(const FbApi &api) : h_(api) {}

    // Leaves the engine's answer in status: the caller decides what a refusal means.
    void attach(const QByteArray &database, const std::string &dpb, ISC_STATUS *status);
    void executeImmediate(Transaction &transaction, const QByteArray &sql, int dialect);
    // Asks the engine to stop what runs on this attachment (safe from another thread).
    void cancel(int mode);
    // The database's file as the engine knows it, and its creation time ("days.ticks"):
    // together, what tells one database from another.
    QPair<QString, QString> identity();
    bool attached() const { return h_.value() != 0; }
    isc_db_handle *get() { return h_.get(); }

private:
    detail::Owned<isc_db_handle, detail::detach> h_;
};

class Transaction final {
public:
    explicit Transaction(const FbApi &api) : h_(api) {}

    void start(Attachment &attachment, const std::string &tpb);
    void commit();
    void rollback();
    bool active() const { return h_.value() != 0; }
    isc_tr_handle *get() { return h_.get(); }

private:
    detail::Owned<isc_tr_handle, detail::rollback> h_; // work still open at the end is undone
};

// The buffers a prepared statement's result rows are fetched into.
class ResultArea final {
public:
    explicit ResultArea(int columns = 1) { resize(columns); }
    ResultArea(ResultArea &&) noexcept = default;
    ResultArea &operator=(ResultArea &&) noexcept = default;
    ResultArea(const ResultArea &) = delete;
    ResultArea &operator=(const ResultArea &) = delete;

    void resize(int columns);
    XSQLDA *da() { return reinterpret_cast<XSQLDA *>(storage_.data()); }
    const XSQLDA *da() const { return reinterpret_cast<const XSQLDA *>(storage_.data()); }
    int columns() const { return da()->sqld; }
    const XSQLVAR &column(int i) const { return da()->sqlvar[i]; }
    // Gives every described column a buffer of its own.
    void allocate();

private:
    std::vector<char> storage_;
    std::vector<std::vector<char>> buffers_;
    std::vector<short> indicators_;
};

class Statement final {
public:
    explicit Statement(const FbApi &api) : h_(api) {}

    void prepare(Attachment &attachment, Transaction &transaction, const QByteArray &sql, int dialect,
                 ResultArea &out);
    void execute(Transaction &transaction, int dialect);
    // True when a row was fetched, false at the end of the result.
    bool fetch(int dialect, ResultArea &out);
    void closeCursor();
    // The engine's statement type (isc_info_sql_stmt_...).
    int type();
    // Rows the last execution inserted, updated or deleted.
    std::int64_t rowsAffected();

private:
    std::vector<char> info(char item);
    const FbApi &api() const { return h_.api(); }
    detail::Owned<isc_stmt_handle, detail::drop> h_;
};

} // namespace fb
