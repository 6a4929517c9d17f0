#pragma once

#include <QStringList>

// Reads the first column of every row of a query through a connection of its own, so that
// only committed data shows; NULL reads as "<null>".
QStringList readColumn(const QString &database, const QString &sql);
