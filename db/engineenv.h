#pragma once
// The embedded engine's environment, set once at start-up before the client library is
// opened: the tool's own engine settings folder and a lock folder of this user's.

#include <QString>

namespace engine {

struct Environment {
    QString settingsFolder; // what FIREBIRD names; empty when the engine's own settings apply
    QString lockFolder;     // what FIREBIRD_LOCK names; empty when the engine's default applies
};

// Names the tool's engine settings, found beside the program (programDir/firebird), and a
// lock folder of this user's to the client library through its environment. FIREBIRD and
// FIREBIRD_LOCK set by the user win.
Environment prepare(const QString &programDir);

// Set when the program ends on SIGINT, SIGTERM and SIGHUP itself: the client library then
// must not shut the attachments on those signals.
void setProgramHandlesSignals(bool on);
bool programHandlesSignals();

// The user's state folder for the tool ($XDG_STATE_HOME/conversor, else
// ~/.local/state/conversor): where the records of switched-off triggers are kept.
QString stateFolder();

} // namespace engine
