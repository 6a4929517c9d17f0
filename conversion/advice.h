#pragma once
// What an engine's failure means to a shop, in Portuguese, read from the engine's codes and
// arguments (never from its English text, which stays in the message for the technician).

#include <QString>

#include <exception>

namespace advice {

// What to do about a database of another engine's version; empty when the failure is not that.
QString forVersion(const std::exception &e);

// The connect step's failure as the box and the command line say it, for a run and a check
// alike: "Não foi possível conectar ao banco de dados Vestrel", CR, "Motivo: " and the failure's
// message, and a line of advice where there is one.
QString connectFailure(const std::exception &e);

// The table a key violation names, and whether the failure is one.
bool isKeyViolation(const std::exception &e);
QString tableOfViolation(const std::exception &e);

} // namespace advice
