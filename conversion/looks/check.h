#pragma once
// What a run would do to a database, read without changing anything (conversor --check): one
// read-only transaction, attached without the database's own triggers, no trigger switched,
// nothing recorded, no copy. The same looks a run takes before it changes anything
// (survey.h), where its copy would go, and one pass over each relation's codes: its verdict is
// the run's outcome, in the words of the run's box.

#include "survey.h"

#include <QString>
#include <QStringList>

#include <functional>

class TSQLConnection;

class CheckReport final {
public:
    // The whole check of the database db's profile names: what a run of this program cut short
    // left locked or closed to others is given back first (repair.h), then the database is
    // read in a transaction that only reads, and let go of. A failure comes as Exception with
    // the text the command line shows: the connect step's, or the look's.
    // With codeList, the list of old and new codes a run would make is written beside the file
    // (codelist.h), and the report says where.
    // progress, when given, is told what the check is at: relations looked at of how many, and
    // in words.
    using Progress = std::function<void(int done, int total, const QString &status)>;
    static CheckReport examine(TSQLConnection &db, bool codeList = false, const Progress &progress = {});
    // Reads the database a connection has attached (read-only: its profile's "ReadOnly=True").
    static CheckReport read(TSQLConnection &db, bool codeList = false, const Progress &progress = {});

    // The report, a line each: every relation, what would stop a run, the warnings, the copies
    // and lists earlier runs left (newest first), the verdict.
    QStringList lines() const;
    // 0 when a run would convert and nothing suggests it was done before; 1 otherwise.
    int status() const { return stops_.isEmpty() && collisionTotal_ == 0 && convertedBecause_.isEmpty() ? 0 : 1; }

    // The collision groups shown (at most this many) and, in lines(), how many there are.
    static constexpr int shownCollisions = 20;
    static constexpr int shownCodes = 10; // of each group

private:
    // The looks of read(), one each: a relation's codes and what would stop or slow its rewrite;
    // the files earlier runs left; the preview of the list of codes.
    void examineRelation(TSQLConnection &db, const Survey &survey, const QString &relation, bool mapPays);
    void findKeptFiles(TSQLConnection &db, const QString &path, const Standing &standing);
    void writePreview(TSQLConnection &db, const QString &path, const Survey &survey);

    QStringList repaired_;  // what was given back first
    QStringList listed_;    // where the list of codes went, or why it did not
    QStringList kept_;      // the copies and lists earlier runs left, newest first
    QStringList relations_; // "TABELA: converte N linhas", "TABELA: ignorada (...)"
    QStringList stops_;
    QList<Collision> collisions_;
    int collisionTotal_ = 0;
    QStringList warnings_;
    QString convertedBecause_;
};
