#include "threadedrun.h"

#include "errors.h"
#include "handoff.h"

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <type_traits>

// The view as the worker sees it: every call carried out on the calling thread, in the order
// made; reports posted (Qt::QueuedConnection), calls whose outcome the run needs (a box, the
// gauge's maximum, which may refuse) waited for (Qt::BlockingQueuedConnection). A class rather
// than bare calls for abandon(): Qt lets a blocking call go when its event is deleted unrun,
// and the calls go to an object of their own so that only they are dropped.
class QueuedView final : public ConversionView {
public:
    explicit QueuedView(ConversionView &view) : view_(view), path_(view.pathText()) {}

    QString pathText() const override { return path_; }
    void showMessage(MessageKind kind, const QString &text) override
    {
        wait([&] { view_.showMessage(kind, text); });
    }
    bool confirm(const QString &text) override
    {
        return wait([&] { return view_.confirm(text); });
    }
    std::optional<TLogin> askLogin(const QString &database, const TLogin &refused) override
    {
        return wait([&] { return view_.askLogin(database, refused); });
    }
    void setGaugeMax(int maximum) override
    {
        wait([&] { view_.setGaugeMax(maximum); });
    }
    void setStatus(const QString &text) override
    {
        post([=, this] { view_.setStatus(text); });
    }
    void flushProgress() override
    {
        post([this] { view_.flushProgress(); });
    }
    void addProgress(int amount) override
    {
        post([=, this] { view_.addProgress(amount); });
    }
    void setProgress(int value) override
    {
        post([=, this] { view_.setProgress(value); });
    }

    // On the calling thread: no call of the run's is carried out from now on, and a call the
    // run waits on returns unanswered (the run then stops). Returns false when the run waits on
    // a call being carried out beneath this one, which cannot return before it does.
    bool abandon()
    {
        abandoned_ = true;
        QCoreApplication::removePostedEvents(&calls_, QEvent::MetaCall);
        return !answering_;
    }

private:
    // A call as Qt carries it. Qt's queued calls order what the worker wrote before a call and
    // what the calling thread writes in it, but through Qt's own locks, which ThreadSanitizer
    // does not see: it is told (handoff.h) as the call is moved into Qt's (the worker's writes
    // done), as it starts and ends on the calling thread, and as it is dropped (on the worker,
    // after a blocking call).
    template <class F> class Carried {
    public:
        Carried(F f, const void *at) : f_(std::move(f)), at_(at) {}
        Carried(Carried &&other) noexcept : f_(std::move(other.f_)), at_(other.at_) { handoff::release(at_); }
        Carried(const Carried &) = delete;
        Carried &operator=(const Carried &) = delete;
        Carried &operator=(Carried &&) = delete;
        ~Carried() { handoff::acquire(at_); }
        void operator()()
        {
            handoff::acquire(at_);
            f_();
            handoff::release(at_);
        }

    private:
        F f_;
        const void *at_;
    };
    template <class F> Carried<std::decay_t<F>> carried(F &&f) { return {std::forward<F>(f), &calls_}; }

    template <class F> void post(F &&f)
    {
        if (!abandoned_)
            QMetaObject::invokeMethod(&calls_, carried(std::forward<F>(f)), Qt::QueuedConnection);
    }
    // The run's own variables are safe to refer to: Qt's blocking call returns only once the call
    // has been carried out, or dropped unrun.
    template <class F> std::invoke_result_t<F> wait(F &&f)
    {
        using Result = std::invoke_result_t<F>;
        auto stopIfAbandoned = [this] {
            if (abandoned_)
                throw Exception(QStringLiteral("Conversão interrompida"));
        };
        stopIfAbandoned();
        std::exception_ptr failure;
        std::conditional_t<std::is_void_v<Result>, bool, Result> result{};
        QMetaObject::invokeMethod(&calls_, carried([&] {
            const QScopedValueRollback answering(answering_, true);
            try {
                if constexpr (std::is_void_v<Result>)
                    f();
                else
                    result = f();
            } catch (...) {
                failure = std::current_exception();
            }
        }), Qt::BlockingQueuedConnection);
        stopIfAbandoned();
        if (failure)
            std::rethrow_exception(failure);
        if constexpr (!std::is_void_v<Result>)
            return result;
    }

    ConversionView &view_;
    const QString path_; // read once, as the run starts
    QObject calls_;      // on the calling thread: what the run asks of the view is carried out there
    std::atomic<bool> abandoned_{false};
    bool answering_ = false; // on the calling thread: a call of the run's is being carried out
};

namespace {

std::atomic<ThreadedRun *> runningNow{nullptr};

// The worker. A class of its own rather than QThread::create(), whose function libstdc++ runs
// (std::call_once), where ThreadSanitizer sees nothing (tools/tsan_defaults.cpp).
class Worker final : public QThread {
public:
    explicit Worker(std::function<void()> body) : body_(std::move(body)) {}

protected:
    void run() override { body_(); }

private:
    std::function<void()> body_;
};

} // namespace

ThreadedRun::ThreadedRun(TSQLConnection &db, ConversionView &view, Conversion::Options options)
    : queued_(std::make_unique<QueuedView>(view)), conversion_(db, *queued_, options)
{
}

ThreadedRun::~ThreadedRun()
{
    abandon(-1);
    ThreadedRun *self = this;
    runningNow.compare_exchange_strong(self, nullptr);
}

void ThreadedRun::start()
{
    if (worker_)
        return;
    worker_ = std::make_unique<Worker>([this] {
        conversion_.run();
        handoff::release(this); // the run's outcome, read once the worker has ended
    });
    // Emitted on the worker: comes here through this thread's loop.
    connect(worker_.get(), &QThread::finished, this, &ThreadedRun::ended);
    runningNow = this;
    worker_->start();
}

void ThreadedRun::ended()
{
    if (!worker_)
        return;
    worker_->wait();
    handoff::acquire(this);
    worker_.reset();
    ThreadedRun *self = this;
    runningNow.compare_exchange_strong(self, nullptr);
    emit finished();
}

Conversion::Outcome ThreadedRun::exec(QEventLoop::ProcessEventsFlags flags)
{
    QEventLoop loop;
    connect(this, &ThreadedRun::finished, &loop, &QEventLoop::quit);
    start();
    loop.exec(flags);
    return conversion_.outcome();
}

bool ThreadedRun::abandon(int timeoutMs)
{
    if (!worker_)
        return true;
    if (QThread::currentThread() == worker_.get())
        return false; // the run cannot wait for itself
    conversion_.interrupt();
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // A box or question open beneath this call (the program ends from inside its loop): the
        // run asks only before it has changed anything or once it has given the database back,
        // and is left waiting on it.
        if (!queued_->abandon())
            return true;
        // Dropped again each time: a call the run makes before it sees the stop.
        const qint64 slice = deadline.isForever() ? 20 : std::clamp<qint64>(deadline.remainingTime(), 0, 20);
        if (worker_->wait(QDeadlineTimer(slice))) {
            handoff::acquire(this);
            return true;
        }
        if (deadline.hasExpired())
            return false;
    }
}

bool ThreadedRun::anyRunning()
{
    return runningNow != nullptr;
}

bool ThreadedRun::abandonRunning(int timeoutMs)
{
    ThreadedRun *run = runningNow;
    return !run || run->abandon(timeoutMs);
}
