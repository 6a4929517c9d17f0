#include "fbobjects.h"

#include "triggerswitch.h"

namespace fb {

// ---- Connection

Transaction &Connection::workTransaction()
{
    if (!work) {
        Transaction t(api);
        t.start(attachment, tpb);
        work.emplace(std::move(t));
    }
    return *work;
}

void Connection::commitWork()
{
    // A commit closes the engine's cursors: keep what open results still have to deliver.
    for (Reader *r : readers)
        r->keepRest();
    if (work) {
        work->commit();
        work.reset();
    }
    for (Reader *r : readers)
        r->cursorOpen = false;
}

void Connection::rollbackWork()
{
    for (Reader *r : readers) {
        r->cursorOpen = false;
        r->buffered.clear();
    }
    if (work) {
        std::optional<Transaction> undone = std::move(work);
        work.reset();
        undone->rollback();
    }
}

// ---- Command

void Command::prepare(const QString &sql)
{
    rule = enginerules::classify(sql);
    switch (rule.kind) {
    case enginerules::Kind::Commit:
        kind = CommandKind::Commit;
        return;
    case enginerules::Kind::Rollback:
        kind = CommandKind::Rollback;
        return;
    case enginerules::Kind::TriggerSwitch:
        kind = CommandKind::TriggerSwitch; // carried out by the layer, not prepared as written
        return;
    default:
        break;
    }
    Connection &c = *connection;
    statement.prepare(c.attachment, c.workTransaction(), sql.toUtf8(), c.options.dialect, out);
    const int type = statement.type();
    if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd)
        kind = CommandKind::Select;
    else if (type == isc_info_sql_stmt_ddl || rule.kind == enginerules::Kind::SystemWrite)
        kind = CommandKind::Metadata;
}

bool Command::execute()
{
    Connection &c = *connection;
    rows = 0;
    switch (kind) {
    case CommandKind::Commit:
        c.commitWork();
        return false;
    case CommandKind::Rollback:
        c.rollbackWork();
        return false;
    case CommandKind::Select:
        statement.open(c.workTransaction(), out);
        return true;
    case CommandKind::TriggerSwitch:
        rows = switchTriggers(c, rule);
        return false;
    case CommandKind::Metadata: {
        Transaction own(c.api);
        own.start(c.attachment, c.tpb);
        statement.execute(own);
        rows = statement.rowsAffected();
        own.commit();
        return false;
    }
    case CommandKind::Other:
        statement.execute(c.workTransaction());
        rows = statement.rowsAffected();
        return false;
    }
    return false;
}

// ---- Reader

Row Reader::readRow()
{
    Row row;
    for (int i = 0; i < command->out.columns(); ++i)
        row.push_back(decode(command->out, i));
    return row;
}

bool Reader::fetch()
{
    if (!buffered.empty()) {
        current = std::move(buffered.front());
        buffered.pop_front();
        return hasRow = true;
    }
    // Rows are taken off the cursor a batch at a time: the engine walks its result once, not
    // between every other statement the caller runs.
    while (cursorOpen && !exhausted && buffered.size() < batch) {
        if (command->statement.fetch(command->out))
            buffered.push_back(readRow());
        else
            exhausted = true;
    }
    if (!buffered.empty()) {
        current = std::move(buffered.front());
        buffered.pop_front();
        return hasRow = true;
    }
    current.clear();
    return hasRow = false;
}

void Reader::closeCursor()
{
    if (cursorOpen) {
        cursorOpen = false;
        command->statement.closeCursor();
    }
}

void Reader::keepRest()
{
    if (!cursorOpen || exhausted)
        return;
    while (command->statement.fetch(command->out))
        buffered.push_back(readRow());
    exhausted = true;
}

} // namespace fb
