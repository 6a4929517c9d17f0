#pragma once
// What an engine's failure means to a shop, in Portuguese, read from the engine's codes and
// arguments (never from its English text, which stays in the message for the technician).

#include <QString>

#include <exception>

namespace advice {

// What to do about a database of another engine's version; empty when the failure is not that.
QString forVersion(const std::exception &e);

// What a failure means to a clerk and what to do about it, in a line of Portuguese, for what a
// shop meets (no permission, a file another program holds, a file that is no database, a
// read-only database, a full disk, a server that does not answer, a file name the engine cannot
// take...); empty for anything else. path: the database as chosen (empty: not known).
QString explain(const std::exception &e, const QString &path = {});

// A failure as a box says it: what failed (the heading), the explanation's line where there is
// one, then "Motivo: " and the failure's own message (the engine's English, for the technician).
QString withReason(const QString &heading, const std::exception &e, const QString &path = {});

// The connect step's failure as the box and the command line say it, for a run and a check
// alike: "Não foi possível conectar ao banco de dados Vestrel", the explanation, "Motivo: " and
// the failure's message, and what to do about another engine's version.
QString connectFailure(const std::exception &e, const QString &path = {});

// The table a key violation names, and whether the failure is one.
bool isKeyViolation(const std::exception &e);
QString tableOfViolation(const std::exception &e);

} // namespace advice
