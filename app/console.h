#pragma once

#include <QString>

#include <optional>

// What the program writes outside its window, and where: results on stdout, failures on stderr
// after the program's name, one line each; and the progress line a terminal shows.
namespace console {

// text on one line: a line break (with the blanks around it) becomes "; ", or a blank after
// punctuation, and a run of blanks one blank.
QString oneLine(const QString &text);

// text broken at blanks into lines of at most columns characters; a word longer than that
// gets a line of its own. Line breaks in text are kept.
QString wrapped(const QString &text, int columns);

// The width of the terminal on fd, or 0 when fd is no terminal or the terminal does not say.
int terminalColumns(int fd);

// The progress line: a bar, the count and the status, cut to fit in columns - 1 (a line that
// reaches the last column makes some terminals wrap). The bar goes first when space is short.
QString progressLine(int value, int maximum, const QString &status, int columns);

// Whether the program can ask its user something: its standard input is a terminal.
bool canAsk();

// Asks for a password on the terminal of the standard input, the prompt on stderr, without
// echo: what is typed up to Enter. nullopt when there is no terminal or nothing was typed (Enter
// alone, Ctrl+D). SIGINT, SIGTERM or SIGHUP meanwhile give the terminal its echo back; then the
// signal goes to *signal, with nullopt, or, with signal null, ends the process as by default.
std::optional<QString> askPassword(const QString &prompt, int *signal = nullptr);

// "FILE: text" on stdout.
void result(const QString &file, const QString &text);
// "conversor: FILE: text" on stderr.
void failure(const QString &file, const QString &text);
// "conversor: FILE: " and a run's failure when a signal stopped it: its first line, the signal
// named after it ("Conversão interrompida pelo usuário; nada foi alterado (SIGINT)"), then the
// rest; without a file, "conversor: " alone.
void stopped(const QString &file, const QString &failure, const QString &signalName);
// "conversor: text" on stderr: what is wrong with the command line or the set-up.
void problem(const QString &text);

} // namespace console
