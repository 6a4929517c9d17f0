#pragma once

#include "mainwindow.h"

#include <QtTest>

// The main window shown and active, as a user meets it at start.
struct ShownForm {
    ShownForm()
    {
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    TForm1 form;
};
