#include "triggerswitch.h"

#include "params.h"
#include "queries.h"
#include "statements.h"

void TriggerSwitch::read()
{
    triggers_.clear();
    for (const auto &row : queries::readBytes(db_, statements::userTriggers())) {
        Trigger t;
        t.name = trimControl(QString::fromUtf8(row.value(0).value_or(QByteArray())));
        t.active = row.value(1).value_or(QByteArray("0")).trimmed() == "0";
        t.relation = trimControl(QString::fromUtf8(row.value(2).value_or(QByteArray())));
        t.description = row.value(3);
        t.recorded = marks::has(t.description, marks::Kind::TriggerOff, t.name);
        triggers_ << t;
    }
    atCommit_ = triggers_;
}

QStringList TriggerSwitch::leftOff() const
{
    QStringList names;
    for (const Trigger &t : triggers_)
        if (t.recorded && !t.active)
            names << t.name;
    return names;
}

void TriggerSwitch::set(Trigger &t, bool active, const marks::Description &description)
{
    if (t.active != active)
        queries::execute(query_, statements::alterTrigger(t.name, active));
    if (description != t.description)
        queries::execute(query_, statements::describeTrigger(t.name, description));
    t.active = active;
    t.description = description;
}

void TriggerSwitch::makeGood()
{
    // A recorded trigger the user has switched on himself since needs only its record gone.
    for (Trigger &t : triggers_)
        if (t.recorded && isPlainIdentifier(t.name)) {
            set(t, true, marks::without(t.description, marks::Kind::TriggerOff, t.name));
            t.recorded = false;
        }
}

void TriggerSwitch::switchOff()
{
    for (Trigger &t : triggers_)
        if (t.active && isPlainIdentifier(t.name)) {
            set(t, false, marks::withLine(t.description, marks::triggerOff(t.name)));
            t.recorded = true;
        }
}

void TriggerSwitch::switchOn()
{
    for (Trigger &t : triggers_)
        if (t.recorded) {
            set(t, true, marks::without(t.description, marks::Kind::TriggerOff, t.name));
            t.recorded = false;
        }
}

qsizetype TriggerSwitch::longestRecord() const
{
    qsizetype longest = 0;
    for (const Trigger &t : triggers_)
        if (t.active && isPlainIdentifier(t.name))
            longest = std::max(longest, marks::withLine(t.description, marks::triggerOff(t.name))->size());
    return longest;
}
