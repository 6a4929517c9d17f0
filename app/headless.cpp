#include "headless.h"

#include "conversionview.h"
#include "signalwatch.h"
#include "sqlconnection.h"
#include "conversion.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include <cstdio>
#include <unistd.h>

namespace {

class ConsoleView final : public ConversionView {
public:
    explicit ConsoleView(QString file) : file_(std::move(file)), terminal_(isatty(STDERR_FILENO) != 0) {}
    ~ConsoleView() override { endLine(); }

    QString pathText() const override { return file_; }
    void showMessage(MessageKind, const QString &text) override
    {
        endLine();
        QString said = text;
        said.replace(u'\r', u' ');
        std::printf("%s: %s\n", qPrintable(file_), qPrintable(said));
        std::fflush(stdout);
    }
    // Without a window nobody is asked: a database that looks converted already is refused.
    bool confirm(const QString &text) override
    {
        showMessage(MessageKind::Error, text);
        return false;
    }
    void setGaugeMax(int maximum) override
    {
        max_ = std::max(maximum, 0);
        value_ = std::min(value_, max_);
    }
    void setStatus(const QString &text) override
    {
        status_ = text;
        if (terminal_)
            draw();
        else
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    void repaintNow() override { std::fflush(stderr); }
    void addProgress(int amount) override { setProgress(value_ + amount); }
    void setProgress(int value) override
    {
        value_ = std::clamp(value, 0, max_);
        if (terminal_)
            draw();
    }

    // Ends the progress line, so that what follows starts on a line of its own.
    void endLine()
    {
        if (drawn_)
            std::fprintf(stderr, "\n");
        drawn_ = false;
    }

private:
    // One line, redrawn in place: a bar, the count, and the status.
    void draw()
    {
        const int width = 30;
        const int filled = max_ > 0 ? int(qint64(value_) * width / max_) : 0;
        std::fprintf(stderr, "\r\033[K[%s%s] %d/%d %s", QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, '.').constData(), value_, max_, qPrintable(status_));
        drawn_ = true;
    }

    QString file_;
    bool terminal_;
    bool drawn_ = false;
    int max_ = 100;
    int value_ = 0;
    QString status_;
};

} // namespace

int convertFiles(const QStringList &files)
{
    // The run holds this thread, as a command-line program's does; a signal is taken on the
    // watch's own thread and stops the run from there.
    std::mutex guard;
    Conversion *running = nullptr;
    std::atomic<int> ending{0};
    SignalWatch watch(SignalWatch::Delivery::OwnThread);
    QObject::connect(&watch, &SignalWatch::received, &watch, [&](int signo) {
        int none = 0;
        ending.compare_exchange_strong(none, signo);
        std::lock_guard lock(guard);
        if (running)
            running->interrupt();
    }, Qt::DirectConnection);

    TSQLConnection db;
    int status = 0;
    for (const QString &file : files) {
        ConsoleView view(file);
        Conversion conversion(db, view);
        {
            std::lock_guard lock(guard);
            running = &conversion;
        }
        if (ending)
            conversion.interrupt();
        conversion.run();
        {
            std::lock_guard lock(guard);
            running = nullptr;
        }
        if (conversion.outcome() == Conversion::Outcome::Interrupted) {
            view.endLine();
            QString said = conversion.failure();
            said.replace(u'\r', u' ');
            std::fprintf(stderr, "conversor: %s: conversão interrompida por %s; nada foi alterado. %s\n", qPrintable(file),
                         qPrintable(SignalWatch::name(ending)), qPrintable(said));
            return 128 + ending;
        }
        // A signal that came once the commit had been sent leaves this file converted: the
        // next file, if any, is the one it stops.
        if (conversion.outcome() != Conversion::Outcome::Converted)
            status = 1;
    }
    return status;
}
