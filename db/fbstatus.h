#pragma once
// The one funnel from a failed client library call to TDBXError: the engine's own text, one
// line per message, with the engine's error codes beside it.

#include "dbxlayer.h"
#include "errors.h"
#include "fbapi.h"

namespace fbstatus {

// The failure a status vector holds, with every isc_arg_gds code of it, in order.
TDBXError error(const FbApi &api, const ISC_STATUS *status);

} // namespace fbstatus
