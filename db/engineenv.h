#pragma once
// The embedded engine's environment, set once at start-up before the client library is
// opened: the tool's own engine settings folder and a lock folder of this user's.

#include <QString>

namespace engine {

struct Environment {
    QString settingsFolder; // what FIREBIRD names; empty when the engine's own settings apply
    QString lockFolder;     // what FIREBIRD_LOCK names; empty when the engine's default applies
    QString problem;        // why the tool's own settings are not in use (empty when they are)
};

// Where the tool's settings are looked for: programDir/firebird in the build tree, and
// programDir/../lib/conversor/firebird where the program is installed.
QStringList settingsCandidates(const QString &programDir);

// Names the tool's engine settings, found beside the program, and a lock folder of this user's
// to the client library through its environment. FIREBIRD and FIREBIRD_LOCK set by the user
// win. When the settings are not found, every failure the engine reports says so too.
Environment prepare(const QString &programDir);
// The line the engine's failures carry while the tool's settings are missing; empty otherwise.
QString missingSettingsNote();

// Set when the program ends on SIGINT, SIGTERM and SIGHUP itself: the client library then
// must not shut the attachments on those signals.
void setProgramHandlesSignals(bool on);
bool programHandlesSignals();

} // namespace engine
