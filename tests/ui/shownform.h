#pragma once

#include "mainwindow.h"

#include <QtTest>

// The main window shown and active, as a user meets it at start. A test checks shown before
// it goes on: a check in here would only leave the constructor, not the test.
struct ShownForm {
    ShownForm()
    {
        form.show();
        form.activateWindow();
        shown = QTest::qWaitForWindowActive(&form);
    }
    TForm1 form;
    bool shown = false;
};
