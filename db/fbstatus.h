#pragma once
// The one funnel from a failed client library call to TDBXError: the engine's own text, one
// line per message, with the engine's errors and their arguments beside it.

#include "dbxlayer.h"
#include "errors.h"
#include "fbapi.h"

namespace fbstatus {

// The engine's errors in a status vector, each with its arguments, in order.
QList<EngineError> errors(const ISC_STATUS *status);
// The failure a status vector holds: the engine's text, a line per message, and its errors.
TDBXError error(const FbApi &api, const ISC_STATUS *status);

} // namespace fbstatus
