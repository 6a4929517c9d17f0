#pragma once
// The database layer over the Firebird client library. A plain path opens the file through
// the embedded engine alone, or through the local server when a running server holds the file,
// the file belongs to the account a running server runs as, or the engine here cannot open it;
// "host:path" goes to a server. How statements map onto transactions: fbobjects.h.

#include "dbxlayer.h"

struct FbApi;

class FbClientLayer final : public dbx::Layer {
public:
    static constexpr const char *defaultLibrary = "libfbclient.so.2";

    explicit FbClientLayer(QString library = QString::fromLatin1(defaultLibrary)) : library_(std::move(library)) {}

    void load() override;
    std::unique_ptr<dbx::Connection> connect(const dbx::EntryList &entries) override;
    std::unique_ptr<dbx::Services> services(const dbx::EntryList &entries) override;

private:
    QString library_;
    const FbApi *api_ = nullptr;
};
