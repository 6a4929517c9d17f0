#include "fbapi.h"

#include "engineenv.h"
#include "errors.h"

#include <QHash>

#include <cerrno>
#include <dlfcn.h>
#include <memory>
#include <mutex>

namespace {

std::mutex loading;

// The tables by library name. Like the libraries, they stay to the very end of the process (a
// thread may still be using one while it ends), held where the leak check can see them.
QHash<QString, const FbApi *> &opened()
{
    static auto *tables = new QHash<QString, const FbApi *>;
    return *tables;
}

// The client library shuts every attachment on SIGINT and SIGTERM. Where the program ends on
// those signals itself, it refuses that shutdown, so that a run in progress can still undo
// its work and switch the triggers on again.
int refuseSignalShutdown(const int reason, const int, void *)
{
    return reason == fb_shutrsn_signal && engine::programHandlesSignals() ? 1 : 0;
}

} // namespace

namespace fbclient {

const FbApi &load(const QString &library)
{
    std::lock_guard lock(loading);
    if (const FbApi *known = opened().value(library))
        return *known;
    errno = 0;
    void *dl = dlopen(library.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!dl)
        throw TDBXError::unableToLoad(library, errno ? errno : ENOENT);
    auto table = std::make_unique<FbApi>();
#define FB_RESOLVE(name)                                                                           \
    table->name = reinterpret_cast<decltype(table->name)>(dlsym(dl, #name));                       \
    if (!table->name) {                                                                            \
        dlclose(dl);                                                                               \
        throw TDBXError::procedureMissing(QStringLiteral(#name));                                  \
    }
    FB_API_FUNCTIONS(FB_RESOLVE)
    FB_RESOLVE(fb_get_master_interface)
#undef FB_RESOLVE
    table->master = table->fb_get_master_interface();
    table->dispatcher = table->master->getDispatcher();
    ISC_STATUS_ARRAY status;
    table->fb_shutdown_callback(status, refuseSignalShutdown, fb_shut_confirmation, nullptr);
    const FbApi *api = table.release();
    opened().insert(library, api);
    return *api;
}

} // namespace fbclient
