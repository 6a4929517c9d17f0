#pragma once
// What an engine's failure means to a shop, in Portuguese, read from the engine's codes and
// arguments (never from its English text, which stays in the message for the technician).

#include "errors.h"

#include <QString>

#include <exception>

namespace advice {

// The first line of every refusal whose way out is a technician's.
QString callTechnician();

// A refusal whose way out is a technician's, as a box says it: the line above, what is wrong in
// a clerk's words, then in a paragraph of its own what the technician does (the command).
QString forTechnician(const QString &what, const QString &technician);

// An engine's failure with what the program left behind because of it (a file it made), for the
// message to name: the engine's codes and text kept as they were.
class LeftBehind : public TDBXError {
public:
    LeftBehind(const TDBXError &failure, QString note)
        : TDBXError(failure), note_(std::move(note)) {}
    const QString &note() const noexcept { return note_; }

private:
    QString note_;
};

// What to do about a database of another engine's version; empty when the failure is not that.
QString forVersion(const std::exception &e);

// What a failure means to a clerk and what to do about it, in a line of Portuguese, for what a
// shop meets (no permission, a file another program holds, a file that is no database, a
// read-only database, a full disk, a server that does not answer, a file name the engine cannot
// take...); empty for anything else. path: the database as chosen (empty: not known).
QString explain(const std::exception &e, const QString &path = {});

// A failure as a box says it: what failed (the heading), the explanation's line where there is
// one, what the failure left behind, then "Motivo: " and the failure's own message (the
// engine's English, for the technician). An explanation that calls the technician puts that
// line first, above the heading.
QString withReason(const QString &heading, const std::exception &e, const QString &path = {});

// A command's refusal on one line of the command line (--restore, --unlock): the heading
// ("Nada foi restaurado.") and the failure's message where the program's words say it all
// already; else as withReason, the engine's failure in a clerk's words first.
QString refusal(const QString &heading, const std::exception &e, const QString &path = {});

// The connect step's failure as the box and the command line say it, for a run and a check
// alike: "Não foi possível conectar ao banco de dados Vestrel", the explanation, "Motivo: " and
// the failure's message, and what to do about another engine's version. A database missing
// because a way back was cut short after the drop: what restore::cutShortText says instead.
QString connectFailure(const std::exception &e, const QString &path = {});

// The table a key violation names, and whether the failure is one.
bool isKeyViolation(const std::exception &e);
QString tableOfViolation(const std::exception &e);

} // namespace advice
