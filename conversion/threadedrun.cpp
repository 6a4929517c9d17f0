#include "threadedrun.h"

#include "errors.h"

#include <QThread>

#include <condition_variable>
#include <exception>
#include <mutex>

// The view as the worker sees it: every call is carried out on the thread of receiver, in the
// order made. Calls whose outcome the run needs (a box, the gauge's maximum, which may refuse)
// wait for it, unless the calling thread has been given up; the others do not wait.
class QueuedView final : public ConversionView {
public:
    QueuedView(QObject *receiver, ConversionView &view) : receiver_(receiver), view_(view), path_(view.pathText()) {}

    QString pathText() const override { return path_; }
    void showMessage(MessageKind kind, const QString &text) override
    {
        wait([=, this] { view_.showMessage(kind, text); });
    }
    bool confirm(const QString &text) override
    {
        bool yes = false;
        wait([&, this] { yes = view_.confirm(text); });
        return yes;
    }
    std::optional<TLogin> askLogin(const QString &database, const TLogin &refused) override
    {
        std::optional<TLogin> login;
        wait([&, this] { login = view_.askLogin(database, refused); });
        return login;
    }
    void setGaugeMax(int maximum) override
    {
        wait([=, this] { view_.setGaugeMax(maximum); });
    }
    void setStatus(const QString &text) override
    {
        post([=, this] { view_.setStatus(text); });
    }
    void repaintNow() override
    {
        post([this] { view_.repaintNow(); });
    }
    void addProgress(int amount) override
    {
        post([=, this] { view_.addProgress(amount); });
    }
    void setProgress(int value) override
    {
        post([=, this] { view_.setProgress(value); });
    }

    void abandon()
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        answered_.notify_all();
    }

private:
    bool onReceiverThread() const { return QThread::currentThread() == receiver_->thread(); }
    template <class F> void post(F &&f)
    {
        if (onReceiverThread())
            f();
        else
            QMetaObject::invokeMethod(receiver_, std::forward<F>(f), Qt::QueuedConnection);
    }
    template <class F> void wait(F &&f)
    {
        if (onReceiverThread()) {
            f();
            return;
        }
        // The answer lands in a state both sides share: a worker that stops waiting (abandoned)
        // leaves it to the call, which may still come.
        struct Call {
            bool done = false;
            std::exception_ptr failure;
        };
        auto call = std::make_shared<Call>();
        QMetaObject::invokeMethod(
            receiver_,
            [this, call, f = std::forward<F>(f)]() mutable {
                std::exception_ptr failure;
                try {
                    f();
                } catch (...) {
                    failure = std::current_exception();
                }
                std::lock_guard lock(mutex_);
                call->failure = failure;
                call->done = true;
                answered_.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(mutex_);
        answered_.wait(lock, [&] { return call->done || abandoned_; });
        if (!call->done)
            throw Exception(QStringLiteral("Conversão interrompida"));
        if (call->failure)
            std::rethrow_exception(call->failure);
    }

    QObject *receiver_;
    ConversionView &view_;
    const QString path_; // read once, as the run starts
    std::mutex mutex_;
    std::condition_variable answered_;
    bool abandoned_ = false;
};

namespace {
std::atomic<ThreadedRun *> runningNow{nullptr};
} // namespace

ThreadedRun::ThreadedRun(TSQLConnection &db, ConversionView &view, Conversion::Options options)
    : queued_(std::make_unique<QueuedView>(this, view)), conversion_(db, *queued_, options)
{
}

ThreadedRun::~ThreadedRun() = default;

Conversion::Outcome ThreadedRun::exec(QEventLoop::ProcessEventsFlags flags)
{
    QEventLoop loop;
    worker_.reset(QThread::create([&] { conversion_.run(); }));
    connect(worker_.get(), &QThread::finished, &loop, &QEventLoop::quit);
    runningNow = this;
    worker_->start();
    loop.exec(flags);
    worker_->wait();
    runningNow = nullptr;
    worker_.reset();
    return conversion_.outcome();
}

bool ThreadedRun::abandon(int timeoutMs)
{
    if (!worker_)
        return true;
    if (QThread::currentThread() == worker_.get())
        return false; // the run cannot wait for itself
    queued_->abandon();
    conversion_.interrupt();
    return worker_->wait(QDeadlineTimer(timeoutMs));
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
