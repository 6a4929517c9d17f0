#include "headless.h"

#include "advice.h"
#include "repair.h"
#include "restore.h"
#include "commandline.h"
#include "console.h"
#include "conversionview.h"
#include "signalwatch.h"
#include "sqlconnection.h"
#include "check.h"
#include "conversion.h"
#include "errors.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>

#include <cstdio>
#include <unistd.h>

namespace {

// The prompt's tries for one attempt to get in.
constexpr int typedTries = 3;

// The next login for a server that refused refused, as the command line gives it; asked: how
// many were given for this attempt to get in already. signal: as console::askPassword has it.
std::optional<TLogin> nextLogin(const ServerLogin &given, const TLogin &refused, int asked, int *signal = nullptr)
{
    const QString user = given.user.isEmpty() ? refused.user : given.user;
    if (given.password)
        return TLogin{user, *given.password}; // the same again ends the attempt
    if (asked >= typedTries || !console::canAsk())
        return std::nullopt;
    if (asked > 0)
        console::problem(QStringLiteral("o servidor recusou a senha de %1").arg(user));
    if (std::optional<QString> password = console::askPassword(QStringLiteral("Senha de %1 no servidor: ").arg(user), signal))
        return TLogin{user, *password};
    return std::nullopt;
}

// The logins shared by every connection of one command, with the command line's source.
std::shared_ptr<TLogins> loginsFor(const ServerLogin &given)
{
    auto logins = std::make_shared<TLogins>();
    logins->setSource([given](const QString &, const TLogin &refused, int asked) { return nextLogin(given, refused, asked); });
    return logins;
}

class ConsoleView final : public ConversionView {
public:
    // named: the progress line says which file it is about (one of several).
    ConsoleView(QString file, bool again, bool named, const ServerLogin &login)
        : file_(std::move(file)), path_(CommandLine::fullPath(file_)), again_(again), named_(named),
          terminal_(isatty(STDERR_FILENO) != 0), login_(login)
    {
    }

    // A signal while the password is asked for: the prompt ends, and the run is stopped by it as
    // by any signal, interrupted rather than failed.
    std::function<void(int signo)> stop;
    ~ConsoleView() override { endLine(); }

    // The run opens the file in full; its messages name it as it was given.
    QString pathText() const override { return path_; }
    void showMessage(MessageKind kind, const QString &text) override
    {
        endLine();
        if (kind == MessageKind::Error)
            console::failure(file_, text);
        else
            console::result(file_, text);
        // What follows is the window's reset after its box: no news on a terminal.
        told_ = true;
    }
    // Without a window nobody is asked: --again answers Yes, and without it a database that looks
    // converted already is refused.
    bool confirm(const QString &text) override
    {
        // Nobody here to answer the question: what it is about, and how to say Yes.
        QString refusal = text;
        if (const qsizetype question = refusal.lastIndexOf(QStringLiteral(". ")); question >= 0 && refusal.endsWith(u'?'))
            refusal.truncate(question + 1);
        if (!again_)
            showMessage(MessageKind::Error, refusal + QStringLiteral(" Para converter de novo, use --again."));
        return again_;
    }
    std::optional<TLogin> askLogin(const QString &, const TLogin &refused) override
    {
        endLine();
        // The run asks again only after a refusal of the last one given.
        int signal = 0;
        std::optional<TLogin> login = nextLogin(login_, refused, refused == lastGiven_ ? ++given_ : (given_ = 0), &signal);
        if (signal != 0 && stop)
            stop(signal);
        lastGiven_ = login.value_or(TLogin{});
        return login;
    }
    void setGaugeMax(int maximum) override
    {
        max_ = std::max(maximum, 0);
        value_ = std::min(value_, max_);
    }
    void setStatus(const QString &text) override
    {
        status_ = console::oneLine(text);
        if (terminal_)
            draw();
        else
            std::fprintf(stderr, "%s\n", qPrintable(status_));
    }
    void flushProgress() override { std::fflush(stderr); }
    void addProgress(int amount) override { setProgress(value_ + amount); }
    void setProgress(int value) override
    {
        value_ = std::clamp(value, 0, max_);
        if (terminal_)
            draw();
    }

    // Clears the progress line, so that what follows starts on a clean line and none is left
    // behind.
    void endLine()
    {
        if (drawn_)
            std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

private:
    // One line, redrawn in place, as wide as the terminal is now.
    void draw()
    {
        if (told_)
            return;
        const int columns = console::terminalColumns(STDERR_FILENO);
        const QString status = named_ ? file_ + QStringLiteral(": ") + status_ : status_;
        std::fprintf(stderr, "\r\033[K%s",
                     qPrintable(console::progressLine(value_, max_, status, columns > 0 ? columns : 80)));
        drawn_ = true;
    }

    QString file_;
    QString path_;
    bool again_;
    bool named_;
    bool terminal_;
    const ServerLogin &login_;
    TLogin lastGiven_;
    int given_ = 0;
    bool drawn_ = false;
    bool told_ = false;
    int max_ = 100;
    int value_ = 0;
    QString status_;
};

} // namespace

int convertFiles(const QStringList &files, bool noCopy, bool again, const ServerLogin &login)
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
        ConsoleView view(file, again, files.size() > 1, login);
        Conversion conversion(db, view, Conversion::Options{!noCopy});
        view.stop = [&](int signo) {
            int none = 0;
            ending.compare_exchange_strong(none, signo);
            conversion.interrupt();
        };
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
            console::stopped(file, conversion.failure(), SignalWatch::name(ending));
            return 128 + ending;
        }
        // A signal that came once the commit had been sent leaves this file converted: the
        // next file, if any, is the one it stops.
        if (conversion.outcome() != Conversion::Outcome::Converted)
            status = 1;
    }
    return status;
}

int checkFiles(const QStringList &files, bool codeList, const ServerLogin &login)
{
    int status = 0;
    bool reported = false;
    const std::shared_ptr<TLogins> logins = loginsFor(login);
    for (const QString &file : files) {
        TSQLConnection db;
        db.shareLogins(logins);
        db.Params.setValue(QStringLiteral("DataBase"), CommandLine::fullPath(file));
        // On a terminal, a line that names the file at once and says what the check is at,
        // gone when it ends.
        const bool terminal = isatty(STDERR_FILENO) != 0;
        bool drawn = false;
        const auto progress = [&](int done, int total, const QString &said) {
            if (!terminal)
                return;
            const int columns = console::terminalColumns(STDERR_FILENO);
            std::fprintf(stderr, "\r\033[K%s", qPrintable(console::progressLine(done, total, file + QStringLiteral(": ")
                                                                                     + console::oneLine(said),
                                                                                 columns > 0 ? columns : 80)));
            std::fflush(stderr);
            drawn = true;
        };
        const auto endLine = [&] {
            if (drawn)
                std::fprintf(stderr, "\r\033[K");
            drawn = false;
        };
        CheckReport report;
        try {
            report = CheckReport::examine(db, codeList, progress);
            endLine();
        } catch (const std::exception &e) {
            endLine();
            console::failure(file, messageOf(e));
            status = 1;
            continue;
        }
        // A blank line between one file's report and the next.
        std::printf("%s%s:\n", reported ? "\n" : "", qPrintable(file));
        reported = true;
        for (const QString &line : report.lines())
            std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        status = std::max(status, report.status());
    }
    return status;
}

int restoreCopies(const QStringList &copies, const ServerLogin &login)
{
    int status = 0;
    const std::shared_ptr<TLogins> logins = loginsFor(login);
    for (const QString &copy : copies) {
        TSQLConnection db;
        db.shareLogins(logins);
        try {
            console::result(copy, restore::putBack(db, CommandLine::fullPath(copy)));
        } catch (const std::exception &e) {
            // An engine's failure in a clerk's words first, with what the way back left behind,
            // as --unlock says its own.
            console::failure(copy, advice::refusal(QStringLiteral("Nada foi restaurado."), e));
            status = 1;
        }
    }
    return status;
}

int unlockFiles(const QStringList &files, const ServerLogin &login)
{
    int status = 0;
    const std::shared_ptr<TLogins> logins = loginsFor(login);
    for (const QString &file : files) {
        TSQLConnection db;
        db.shareLogins(logins);
        db.Params.setValue(QStringLiteral("DataBase"), CommandLine::fullPath(file));
        db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
        try {
            const QStringList done = repair::giveBack(db, true);
            console::result(file, done.isEmpty() ? QStringLiteral("nada a liberar.") : done.join(QStringLiteral("; ")) + u'.');
        } catch (const std::exception &e) {
            // An engine's failure in a clerk's words first, as a run's connect failure is (a
            // missing file, a permission, a server that does not answer); the program's own
            // refusals are such words already.
            console::failure(file, advice::refusal(QStringLiteral("Nada foi liberado."), e, CommandLine::fullPath(file)));
            status = 1;
        }
    }
    return status;
}
