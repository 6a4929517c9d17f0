#pragma once

#include <QStringList>

// The conversion without a window, file by file, the same run as the window's (on this thread:
// there is no window to keep answering): the status
// lines go to stderr (one progress line, redrawn, when stderr is a terminal), each file's
// final message to stdout, after the file's name. Returns the process's status: 0 when every
// file was converted, 1 when any was not, 128 + the signal when one stopped the run.
int convertFiles(const QStringList &files);
