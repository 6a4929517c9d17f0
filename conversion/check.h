#pragma once
// What a run would do to a database, read without changing anything (conversor --check): one
// read-only transaction, no trigger switched, nothing recorded, no copy. The same looks a run
// takes before it changes anything (survey.h), and one pass over each relation's codes.

#include "survey.h"

#include <QString>
#include <QStringList>

class TSQLConnection;

class CheckReport final {
public:
    // Reads the database a connection has attached (read-only: its profile's "ReadOnly=True").
    static CheckReport read(TSQLConnection &db);

    // The report, a line each: every relation, what would stop a run, the warnings, the verdict.
    QStringList lines() const;
    // 0 when a run would convert and nothing suggests it was done before; 1 otherwise.
    int status() const { return stops_.isEmpty() && collisionTotal_ == 0 && convertedBecause_.isEmpty() ? 0 : 1; }

    // The collision groups shown (at most this many) and, in lines(), how many there are.
    static constexpr int shownCollisions = 20;

private:
    QStringList relations_; // "TABELA: converte N linhas", "TABELA: ignorada (...)"
    QStringList stops_;
    QList<Collision> collisions_;
    int collisionTotal_ = 0;
    QStringList warnings_;
    QString convertedBecause_;
};
