#include "triggerswitch.h"

#include "errors.h"
#include "marks.h"
#include "params.h"
#include "queries.h"
#include "statements.h"

void TriggerSwitch::read()
{
    active_.clear();
    QStringList inactive;
    for (const QStringList &row : queries::readAll(db_, statements::userTriggers()))
        (row.value(1) == QLatin1String("0") ? active_ : inactive) << trimControl(row.value(0));
    description_ = queries::readAll(db_, statements::databaseDescription()).value(0).value(0);
    recorded_.clear();
    // A recorded trigger the user has dropped since, or switched on himself, needs nothing.
    for (const QString &name : marks::recordedTriggers(description_))
        if (inactive.contains(name))
            recorded_ << name;
    for (const QString &name : active_ + recorded_)
        if (!isPlainIdentifier(name))
            throw Exception(QStringLiteral("Nome de gatilho inválido: ") + name);
}

QString TriggerSwitch::description() const
{
    return marks::withoutTriggers(description_);
}

void TriggerSwitch::writeDescription(const QString &description)
{
    if (description != description_ || description.isNull() != description_.isNull())
        queries::execute(query_, statements::describeDatabase(description));
}

void TriggerSwitch::makeGood()
{
    if (recorded_.isEmpty() && marks::recordedTriggers(description_).isEmpty())
        return;
    switchOn();
    queries::execute(query_, statements::commit());
    active_ += recorded_;
    recorded_.clear();
    description_ = description();
}

void TriggerSwitch::switchOff()
{
    if (active_.isEmpty())
        return;
    for (const QString &name : std::as_const(active_))
        queries::execute(query_, statements::alterTrigger(name, false));
    QStringList record = recorded_;
    for (const QString &name : std::as_const(active_))
        if (!record.contains(name))
            record << name;
    const QString described = marks::withLine(description(), marks::triggersLine(record));
    writeDescription(described);
    queries::execute(query_, statements::commit());
    recorded_ = record;
    active_.clear();
    description_ = described;
}

void TriggerSwitch::switchOn(const QString &line)
{
    for (const QString &name : std::as_const(recorded_))
        queries::execute(query_, statements::alterTrigger(name, true));
    writeDescription(line.isEmpty() ? description() : marks::withLine(description(), line));
}
