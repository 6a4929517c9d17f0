#pragma once
// The Firebird client library: opened once per process with the dynamic loader, and kept open
// until the process ends. Statements go through its object interface (the master interface's
// dispatcher); a few plain entry points remain for what it has no object for.

#include <QString>

#include <firebird/Interface.h>
#include <ibase.h>

#define FB_API_FUNCTIONS(X)                                                                        \
    X(fb_interpret)                                                                                \
    X(isc_vax_integer)                                                                             \
    X(fb_shutdown_callback)

struct FbApi {
// NOLINTNEXTLINE(bugprone-macro-parentheses): a name, which parentheses would not declare
#define FB_DECLARE(name) decltype(&::name) name = nullptr;
    FB_API_FUNCTIONS(FB_DECLARE)
#undef FB_DECLARE
    decltype(&Firebird::fb_get_master_interface) fb_get_master_interface = nullptr;
    Firebird::IMaster *master = nullptr;
    Firebird::IProvider *dispatcher = nullptr;
};

namespace fbclient {

// Opens the library (the first time; later calls hand out the same table). On failure, TDBXError
// "Unable to load ..." or "Unable to find procedure ...", nothing stays open, and the next call
// tries again. The library is never closed: it starts threads and takes signals that must not
// outlive its code.
const FbApi &load(const QString &library);

} // namespace fbclient
