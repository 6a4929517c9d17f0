#include "threadedrun.h"

#include <QEventLoop>
#include <QThread>

#include <exception>

namespace {

// The view as the worker sees it: every call is carried out on the thread of receiver, in the
// order made. Calls whose outcome the run needs (the message box, the gauge's maximum, which may
// refuse) wait for it; the others do not.
class QueuedView final : public ConversionView {
public:
    QueuedView(QObject *receiver, ConversionView &view) : receiver_(receiver), view_(view), path_(view.pathText()) {}

    QString pathText() const override { return path_; }
    void showMessage(MessageKind kind, const QString &text) override
    {
        wait([=, this] { view_.showMessage(kind, text); });
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

private:
    template <class F> void post(F &&f)
    {
        QMetaObject::invokeMethod(receiver_, std::forward<F>(f), Qt::QueuedConnection);
    }
    template <class F> void wait(F &&f)
    {
        std::exception_ptr failure;
        QMetaObject::invokeMethod(
            receiver_,
            [&] {
                try {
                    f();
                } catch (...) {
                    failure = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (failure)
            std::rethrow_exception(failure);
    }

    QObject *receiver_;
    ConversionView &view_;
    const QString path_; // read once, as the run starts
};

} // namespace

ThreadedRun::ThreadedRun(TSQLConnection &db, ConversionView &view) : db_(db), view_(view) {}

Conversion::Outcome ThreadedRun::exec()
{
    failure_.clear();
    if (!Conversion(db_, view_).ConectaBancoVestrel()) {
        interruptPending_ = false;
        return Conversion::Outcome::NotConnected;
    }
    QueuedView queued(this, view_);
    Conversion conversion(db_, queued);
    QEventLoop loop;
    QThread *worker = QThread::create([&] {
        conversion.runConnected();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    conversion_ = &conversion;
    if (interruptPending_)
        conversion.interrupt();
    worker->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    delete worker;
    conversion_ = nullptr;
    interruptPending_ = false;
    failure_ = conversion.failure();
    return conversion.outcome();
}

void ThreadedRun::interrupt()
{
    if (Conversion *c = conversion_)
        c->interrupt();
    else
        interruptPending_ = true;
}
