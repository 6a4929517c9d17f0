#pragma once
// The engine's service manager, over the client library: the server that holds a database does
// what only it may do to the file (shut it down to one attachment, bring it back, back it up and
// restore it), as the account it runs as.

#include "dbxlayer.h"
#include "fbapi.h"
#include "fboptions.h"

namespace fb {

class Services final : public dbx::Services {
public:
    // Logs in to the service manager of the engine that serves options.database ("host:path",
    // "host/port:path", or a plain path for the embedded engine).
    Services(const FbApi &api, const ConnectOptions &options);
    ~Services() override;
    Services(const Services &) = delete;
    Services &operator=(const Services &) = delete;

    void shutDown(const QString &database, bool full = false) override;
    void bringOnline(const QString &database) override;
    void backUp(const QString &database, const QString &file) override;
    void restore(const QString &file, const QString &database) override;
    void copyPages(const QString &database, const QString &file) override;
    void putPagesBack(const QString &file, const QString &database) override;
    void drop(const QString &database) override;

    // "host:service_mgr" for a database string, and the database's path on that host.
    static QString managerFor(const QString &database);
    static QString pathOnServer(const QString &database);

private:
    // Starts an action and waits until the engine has done it, reading its output to the end;
    // the engine's failure comes as TDBXError.
    void run(const std::string &spb);

    const FbApi &api_;
    const ConnectOptions options_; // the login, for an attachment of its own (drop)
    Firebird::IService *service_ = nullptr;
};

} // namespace fb
