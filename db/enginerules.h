#pragma once
// What the layer does with statements that Firebird 3 does not take as they are written. The
// statements stay exactly as the program gives them; the layer recognises these by their text:
//   - "Commit" (or "Commit Work") commits the connection's work transaction, "Rollback" undoes it;
//   - the trigger switch, an UPDATE of RDB$TRIGGERS setting RDB$TRIGGER_INACTIVE to 0 or 1,
//     is carried out with ALTER TRIGGER (system tables are read-only from Firebird 3 on);
//   - any other write to a system (RDB$) table runs and is committed on its own.

#include <QString>

namespace enginerules {

enum class Kind { Plain, Commit, Rollback, TriggerSwitch, SystemWrite };

struct Rule {
    Kind kind = Kind::Plain;
    bool inactive = false; // with TriggerSwitch: switching off
    QString condition;     // with TriggerSwitch: the WHERE condition that picks the triggers
};

Rule classify(const QString &sql);

} // namespace enginerules
