#pragma once

#include "dbxlayer.h"
#include "errors.h"

#include <QSet>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <mutex>

// A database layer that records every call and answers from scripted results; any call can be
// made to fail with a chosen code and text.
class FakeLayer final : public dbx::Layer {
public:
    struct Result {
        QStringList columns;
        QList<QVariantList> rows; // QString for text columns, int for integer ones
    };
    struct Failure {
        QString call;        // "load", "connect", "prepare", "execute", "next", "rollback", and the services'
                             // "services", "shutDown", "bringOnline", "backUp", "restore",
                             // "copyPages", "putPagesBack", "drop"
        QString sqlContains; // with prepare/execute: only statements containing this; with connect: only
                         // attaches to a database string containing this
        int code = dbx::VendorError;
        QString text;
        int times = 1;       // how many matching calls fail (-1: all)
        int after = 0;       // how many matching calls go through first
        long engineCode = 0; // the engine's code the failure carries (isc_login...), if any
        QString unlessPassword; // with connect/services: calls logging in with this password go through
        int systemError = 0; // with engineCode: the operating system's error it passes on (ENOSPC...)
    QList<EngineError::Argument> engineArguments; // with engineCode: the arguments of its text ("open", the file...)
    };

    // A statement whose text contains key answers with this result (the latest given first);
    // any other statement that begins with "select" answers with no rows.
    void addResult(const QString &key, Result result) { results_.prepend({key, std::move(result)}); }
    void fail(Failure failure) { failures_.append(std::move(failure)); }
    // Another file put where the database was: what was committed to it is not there.
    void swapFile()
    {
        std::lock_guard lock(recording_);
        pending_ = committed_ = Kept{};
    }

    // What was called, kept under a lock: a cancel may come from another thread.
    QStringList calls;      // every call, as "name(argument)"
    QStringList statements; // statement texts in the order they were executed, "<rollback>", "<cancel>"
    QList<dbx::EntryList> connectEntries;
    QList<dbx::EntryList> servicesEntries;
    int loads = 0;
    QSet<int> live;         // connections, commands and readers made and not yet gone
    std::function<void(const QString &sql)> onExecute; // called as each statement executes
    std::function<void()> onConnect; // called as each attach begins (on the thread attaching)
    bool quotedIdentifiers = false;
    QString attachedAs;     // what the connections say they attached; empty: the entries' Database

    void load() override;
    std::unique_ptr<dbx::Connection> connect(const dbx::EntryList &entries) override;
    // Records "services()" and each action as "shutDown(DB)", "backUp(DB -> FILE)"..., which
    // also go to statements as "<shutDown DB>" and so on.
    std::unique_ptr<dbx::Services> services(const dbx::EntryList &entries) override;

private:
    friend class FakeConnection;
    friend class FakeCommand;
    friend class FakeReader;
    friend class FakeServices;
    void record(const QString &call, const QString &statement = {});
    // Throws the first scripted failure matching the call.
    void failIf(const QString &call, const QString &sql = {}, const QString &password = {});
    // Whether a cancel was raised for the statement now running, clearing it.
    bool takeCancel();
    int made();
    void gone(int id);
    Result resultFor(const QString &sql) const;
    // What a statement executed, a commit or a rollback does to what the database keeps.
    void keep(const QString &sql);
    void rollBack();

    bool loaded_ = false;
    bool cancelRaised_ = false; // the statement running, or the next, fails as cancelled
    bool cancelsDisabled_ = false;
    QList<QPair<QString, Result>> results_;
    // What the database keeps of the tool's own writes, as a real one would: its description
    // (once written; before that the scripted one answers), the door a run closes and its map of
    // codes, as the open transaction has them and as committed.
    struct Kept {
        std::optional<QVariant> description;
        bool door = false;
        bool map = false;
    };
    Kept pending_, committed_;
    QList<Failure> failures_;
    int nextId_ = 1;
    std::recursive_mutex recording_;
};
