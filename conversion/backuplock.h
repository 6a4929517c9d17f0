#pragma once
// The engine's backup lock on the attached database: while it holds, the engine leaves the
// database file as it is (changes go to a delta file beside it), so that a copy of the file is
// whole. Held by the run for the time of its safety copy.

class TSQLQuery;

class BackupLock final {
public:
    // Takes the lock (ALTER DATABASE BEGIN BACKUP, committed) through query.
    explicit BackupLock(TSQLQuery &query);
    // A lock still held is ended, and a failure to end it swallowed: it ends with the next
    // run's copy, or any ALTER DATABASE END BACKUP.
    ~BackupLock();
    BackupLock(const BackupLock &) = delete;
    BackupLock &operator=(const BackupLock &) = delete;

    // Ends the lock, committed; throws what the engine says.
    void end();

private:
    TSQLQuery &query_;
    bool held_ = false;
};
