#pragma once
// The engine's backup lock on the attached database: while it holds, the engine leaves the
// database file as it is (changes go to a delta file beside it), so that a copy of the file is
// whole. Held by the run for the time of its safety copy.

class Ledger;

class BackupLock final {
public:
    // Takes the lock (ALTER DATABASE BEGIN BACKUP), committed with what the ledger has open.
    explicit BackupLock(Ledger &ledger);
    // A lock still held is ended, and a failure to end it swallowed: it ends with the next
    // run's copy, or any ALTER DATABASE END BACKUP.
    ~BackupLock();
    BackupLock(const BackupLock &) = delete;
    BackupLock &operator=(const BackupLock &) = delete;

    // Ends the lock, committed; throws what the engine says.
    void end();

private:
    Ledger &ledger_;
    bool held_ = false;
};
