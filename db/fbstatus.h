#pragma once
// The one funnel from a failed client library call to TDBXError: the engine's own text, one
// line per message, with the engine's error codes beside it.

#include "errors.h"
#include "fbapi.h"

namespace fbstatus {

bool failed(const ISC_STATUS *status);
// Every isc_arg_gds code of the status, in order.
QList<long> codes(const ISC_STATUS *status);
bool hasCode(const ISC_STATUS *status, ISC_STATUS code);
TDBXError error(const FbApi &api, const ISC_STATUS *status);
// Throws the status's error when the call failed.
void check(const FbApi &api, const ISC_STATUS *status);

} // namespace fbstatus
