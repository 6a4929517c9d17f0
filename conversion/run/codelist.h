#pragma once
// The list of old and new codes (the "de-para") a shop needs the day after a conversion: to
// reprint labels and barcodes, update its catalogue and tell its accountant (the fiscal books
// record an item's change of code). One line per distinct old code stored anywhere in the
// database, read in the run's own transaction before it rewrites anything, so that it is
// exactly what the run does.

#include "rewriteplan.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <utility>

class Survey;
class TSQLConnection;

class CodeList final {
public:
    struct Entry {
        QString old;       // as stored, without a CHAR's filling
        QString rewritten; // as the database's SUBSTR makes it
        qint64 rows = 0;   // the rows that hold it, in every table
        QString description;
        bool shared = false; // another old code becomes the same new one
    };

    CodeList() = default;
    // A list of these entries, ordered by the old code, their descriptions from describedBy.
    CodeList(QList<Entry> entries, QString describedBy) : entries_(std::move(entries)), describedBy_(std::move(describedBy)) {}

    // Reads the list through db (its open transaction): the codes of every table the plan
    // changes, and the product's description where a table keyed by CODPROD alone has one
    // obvious text column (named DESCRICAO or NOME, or its only text column).
    static CodeList read(TSQLConnection &db, const RewritePlan &plan);
    // The same list from the codes a survey kept (Survey::keptCodes()), without reading the
    // tables again: what the run rewrites only while nothing was written since the survey.
    static CodeList fromSurvey(TSQLConnection &db, const Survey &survey);
    // The list's statements go in groups of tables, each group one statement the engine takes
    // (it names at most 256 relations in one).
    static constexpr qsizetype tablesAStatement = 100;

    const QList<Entry> &entries() const { return entries_; }
    // Where the descriptions come from ("PRODUTOS.DESCRICAO"); empty when none does.
    const QString &describedBy() const { return describedBy_; }

    // The list as a spreadsheet of a Brazilian desktop opens it: UTF-8 with its mark, a header
    // line, fields separated by semicolons, ordered by the old code.
    QByteArray csv() const;

    // A run's list, or a preview of one (--check --de-para), which says so in its name.
    enum class Kind { Run, Preview };
    // The list's two files, of one name: the spreadsheet a clerk opens with a double-click (its
    // code columns text, so that 000203 stays 000203), and the CSV other systems import.
    struct Files {
        QString sheet; // .xlsx
        QString csv;
    };
    // "<folder>/<name>.de-para-<yyyyMMdd-HHmmss>.xlsx" and ".csv" (".previa-de-para-" for a
    // preview) beside the database when its folder can be written here, else in home (the
    // database is a server's); numbered where a list of that name is there.
    static Files pathsFor(const QString &database, const QString &home, const QDateTime &when, Kind kind = Kind::Run);
    // What write() left: the files written, and why another was not (empty when both were).
    struct Written {
        QString sheet;
        QString csv;
        QString problem;
    };
    // Writes both files, each whole or not at all (under a temporary name, then renamed): one
    // that cannot be written does not keep the other from being.
    Written write(const Files &files) const;
    // Each file on its own; throws Exception saying why it could not be written.
    void writeCsv(const QString &path) const;
    void writeSheet(const QString &path) const;
    // The most codes the sheet holds: a worksheet's rows, less the header.
    static constexpr qsizetype sheetRows = 1048576 - 1;

private:
    // The list of these entries, by old code, with the codes each shares and their descriptions.
    static CodeList described(TSQLConnection &db, const RewritePlan &plan, const QMap<QString, Entry> &byOld,
                              const QString &charset);

    QList<Entry> entries_;
    QString describedBy_;
};
