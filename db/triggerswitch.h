#pragma once
// The trigger switch as Firebird 3 takes it: ALTER TRIGGER for each trigger the statement's
// condition picks, in a transaction of its own, committed at the end.

#include "enginerules.h"

#include <cstdint>

namespace fb {

struct Connection;

// Switches every trigger the rule's condition picks whose state differs from the rule's;
// returns how many were switched.
std::int64_t switchTriggers(Connection &connection, const enginerules::Rule &rule);

} // namespace fb
