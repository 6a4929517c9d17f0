#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for. A mode that runs on FILEs, or an option that goes with one of
// them, is an entry of a table in commandline.cpp.
struct CommandLine {
    enum Mode { Window, Convert, Check, Restore, Unlock, Help, HelpAll, Version };
    Mode mode = Window;  // what the options ask for, even when something else on the line is wrong
    QStringList files;   // the file for the window's path field; the files of a file mode
    QString problem;     // what is wrong with the line, in one line; empty when nothing is
    bool noCopy = false; // --convert --no-copy: no safety copy
    bool again = false;  // --convert --again: a database that looks converted is converted again
    bool codeList = false; // --check --de-para: the list of old and new codes written too
    // With a file mode, for a server that refuses the program's login (and ISC_USER and
    // ISC_PASSWORD): --user NAME, and the first line of --password-file FILE, read as the line
    // is parsed (never given on the line itself, where any process could read it).
    QString user;
    QString passwordFile;
    std::optional<QString> password;

    bool sound() const { return problem.isEmpty(); }

    // The files as their names' bytes are on the command line: Qt decodes arguments as text, and
    // a name that is no UTF-8 (written on a Latin-1 system) would no longer name its file.
    void keepBytes(int argc, char **argv);

    // A file as the path field shows a chosen one: in full, relative to where the program runs,
    // so that its safety copy goes beside it and a server that holds it is reached by its path.
    // Anything else ("host:path") goes as given.
    static QString fullPath(const QString &file);

    // Parses the arguments after the program's name, as the application object has left them
    // (Qt's options taken); with Qt's translations loaded, Qt's part of a problem is in
    // Portuguese.
    static CommandLine parse(const QStringList &arguments);
    // The help, its description wrapped to columns.
    static QString helpText(int columns);
    // Prints the help with the running application's own options (Qt's) and ends the process
    // with 0.
    [[noreturn]] static void showHelpAll(int columns);
};
