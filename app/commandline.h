#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine {
    enum Mode { Window, Convert, Help, Version, Usage };
    Mode mode = Window;
    QStringList files; // the file for the window's path field; the files to convert
    QString text;      // the help, or what is wrong with the command line

    // Parses the arguments after the program's name; needs no application object.
    static CommandLine parse(const QStringList &arguments);
};
