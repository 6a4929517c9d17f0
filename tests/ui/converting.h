#pragma once

#include "mainwindow.h"

#include <QSignalSpy>

// The Convert command as the user gives it: it returns at once, the run going on while the
// window's loop runs. Waits in that loop until the run has ended; false when it had not within
// timeoutMs.
inline bool convertAndWait(TForm1 &form, int timeoutMs = 60000)
{
    QSignalSpy changes(&form, &TForm1::runningChanged);
    form.imgConverterClick();
    while (form.running())
        if (!changes.wait(timeoutMs))
            return false;
    return true;
}
