#pragma once
// The trigger switch as the layer carries it out, on every engine: ALTER TRIGGER for each
// trigger the statement's condition picks, in a transaction of its own, committed at the end.
// The switch keeps the user's own settings: switching off records which active triggers it
// switches off (triggerledger.h) before it does, and switching on switches on only what is
// recorded, then clears the record. A trigger the user had switched off stays off.

#include "enginerules.h"

#include <cstdint>

namespace fb {

struct Connection;

// Returns how many triggers were switched.
std::int64_t switchTriggers(Connection &connection, const enginerules::Rule &rule);

} // namespace fb
