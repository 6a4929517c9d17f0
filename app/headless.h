#pragma once

#include <QStringList>

#include <optional>

// What a server that refuses the program's login (and ISC_USER and ISC_PASSWORD) is given:
// --user (or the user refused) with --password-file's password, or else, on a terminal, the
// password typed for that user (up to three times); nothing without either.
struct ServerLogin {
    QString user;
    std::optional<QString> password;
};

// The conversion without a window, file by file, the same run as the window's (on this thread:
// there is no window to keep answering). Each file's result goes to stdout after the file's name,
// its failure to stderr (see console.h); the status lines go to stderr, as one progress line
// redrawn in place and cleared after each file when stderr is a terminal (after the file's name
// when there are several). Returns the process's status: 0 when every file was converted, 1 when
// any was not, 128 + the signal when one stopped the run.
// noCopy: no safety copy; again: a database that looks converted is converted again (without
// it, such a database is refused).
int convertFiles(const QStringList &files, bool noCopy, bool again, const ServerLogin &login = {});

// The read-only check of each file (conversor --check): its report on stdout after the file's
// name, a blank line between two reports, a file that cannot be read on stderr. Returns 0 when
// every file would convert and none looks converted, 1 otherwise.
int checkFiles(const QStringList &files, bool codeList = false, const ServerLogin &login = {});

// The way back (conversor --restore): each safety copy put back in its database's place, the
// converted database kept beside it. What was done on stdout after the copy's name, a failure on
// stderr. Returns 0 when every copy was put back, 1 otherwise.
int restoreCopies(const QStringList &copies, const ServerLogin &login = {});

// conversor --unlock: each database a run cut short, or another program, left under the engine's
// backup lock or shut down, given back (what such a run left made good). Returns 0 when every
// file was given back or needed nothing, 1 otherwise.
int unlockFiles(const QStringList &files, const ServerLogin &login = {});
