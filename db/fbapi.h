#pragma once
// The Firebird client library: opened once per process with the dynamic loader, and kept open
// until the process ends. Statements go through its object interface (the master interface's
// dispatcher); a few plain entry points remain for what it has no object for.

#include "dbxlayer.h"

#include <firebird/Interface.h>
#include <ibase.h>

#define FB_API_FUNCTIONS(X)                                                                        \
    X(fb_interpret)                                                                                \
    X(isc_vax_integer)                                                                             \
    X(fb_shutdown_callback)

struct FbApi {
#define FB_DECLARE(name) decltype(&::name) name = nullptr;
    FB_API_FUNCTIONS(FB_DECLARE)
#undef FB_DECLARE
    decltype(&Firebird::fb_get_master_interface) fb_get_master_interface = nullptr;
    Firebird::IMaster *master = nullptr;
    Firebird::IProvider *dispatcher = nullptr;
};

namespace fbclient {

// Opens the library (the first time; later calls hand out the same table) and sets api. On
// failure nothing stays open and api is left alone, so the next call tries again. The library
// is never closed: it starts threads and takes signals that must not outlive its code.
dbx::LoadResult load(const QString &library, const FbApi *&api);

} // namespace fbclient
