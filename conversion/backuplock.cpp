#include "backuplock.h"

#include "queries.h"
#include "statements.h"

BackupLock::BackupLock(TSQLQuery &query) : query_(query)
{
    queries::execute(query_, statements::beginBackup());
    queries::execute(query_, statements::commit());
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
    queries::execute(query_, statements::endBackup());
    queries::execute(query_, statements::commit());
    held_ = false;
}
