#include "backuplock.h"

#include "ledger.h"
#include "queries.h"
#include "statements.h"

BackupLock::BackupLock(Ledger &ledger) : ledger_(ledger)
{
    queries::execute(ledger_.query(), statements::beginBackup());
    ledger_.commit();
    held_ = true;
}

BackupLock::~BackupLock()
{
    if (!held_)
        return;
    try {
        end();
    } catch (const std::exception &) {
    }
}

void BackupLock::end()
{
    queries::execute(ledger_.query(), statements::endBackup());
    ledger_.commit();
    held_ = false;
}
