#pragma once
// The Firebird client library: opened once per process with the dynamic loader, its entry
// points resolved by name, and kept open until the process ends.

#include "dbxlayer.h"

#include <ibase.h>

#define FB_API_FUNCTIONS(X)                                                                        \
    X(isc_attach_database)                                                                         \
    X(isc_detach_database)                                                                         \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_rollback_transaction)                                                                    \
    X(isc_dsql_allocate_statement)                                                                 \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_describe)                                                                           \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_fetch)                                                                              \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_dsql_execute_immediate)                                                                  \
    X(isc_database_info)                                                                           \
    X(isc_vax_integer)                                                                             \
    X(fb_interpret)                                                                                \
    X(fb_cancel_operation)                                                                         \
    X(fb_shutdown_callback)

struct FbApi {
#define FB_DECLARE(name) decltype(&::name) name = nullptr;
    FB_API_FUNCTIONS(FB_DECLARE)
#undef FB_DECLARE
};

namespace fbclient {

// Opens the library (the first time; later calls hand out the same table) and sets api. On
// failure nothing stays open and api is left alone, so the next call tries again. The library
// is never closed: it starts threads and takes signals that must not outlive its code.
dbx::LoadResult load(const QString &library, const FbApi *&api);

} // namespace fbclient
