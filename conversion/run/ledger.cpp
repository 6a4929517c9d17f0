#include "ledger.h"

#include "codemap.h"
#include "guard.h"
#include "queries.h"
#include "sqlconnection.h"
#include "statements.h"

#include <QScopeGuard>

void Ledger::read()
{
    now_.description = queries::readBytes(db_, statements::databaseDescription()).value(0).value(0);
    now_.doorClosed = guard::closed(db_);
    now_.mapMade = CodeMap::there(db_);
    triggers_.read();
    committed_ = now_;
}

void Ledger::describe(const marks::Description &description)
{
    if (description == now_.description)
        return;
    queries::execute(query_, statements::describeDatabase(description));
    now_.description = description;
}

void Ledger::closeDoor(const QString &file)
{
    guard::close(query_, file);
    now_.doorClosed = true;
}

void Ledger::openDoor()
{
    if (!now_.doorClosed)
        return;
    guard::open(query_);
    now_.doorClosed = false;
}

void Ledger::makeMap()
{
    CodeMap::make(query_);
    now_.mapMade = true;
}

void Ledger::dropMap()
{
    if (!now_.mapMade)
        return;
    CodeMap::drop(query_);
    now_.mapMade = false;
}

void Ledger::commit()
{
    queries::execute(query_, statements::commit());
    committed_ = now_;
    triggers_.committed();
}

void Ledger::rollBack()
{
    auto asCommitted = qScopeGuard([this] { connectionGone(); });
    db_.rollback();
}

void Ledger::connectionGone()
{
    now_ = committed_;
    triggers_.rolledBack();
}
