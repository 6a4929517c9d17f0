#pragma once

#include <QStringList>

// The conversion without a window, file by file, the same run as the window's (on this thread:
// there is no window to keep answering). Each file's result goes to stdout after the file's name,
// its failure to stderr (see console.h); the status lines go to stderr, as one progress line
// redrawn in place and cleared after each file when stderr is a terminal. Returns the process's
// status: 0 when every file was converted, 1 when any was not, 128 + the signal when one
// stopped the run.
int convertFiles(const QStringList &files);
