#pragma once

#include <QSet>
#include <QStringList>

// An ordered list of "key=value" lines whose keys are looked up ignoring letter case.
class TParams {
public:
    TParams() = default;
    explicit TParams(QStringList lines) : lines_(std::move(lines)) {}

    const QStringList &lines() const { return lines_; }
    int indexOfName(const QString &key) const;
    // The value of the first line with that key; empty when there is none.
    QString value(const QString &key) const;
    // Replaces the first matching line in place (with the key as given), appends a new
    // line when none matches, and deletes the matching line when value is empty.
    void setValue(const QString &key, const QString &value);

    static QString keyOf(const QString &line);
    static QString valueOf(const QString &line);

private:
    QStringList lines_;
};

// Removes every leading and trailing character whose code is 32 or less.
QString trimControl(const QString &text);

// True for an upper-case letter followed by upper-case letters, digits, "_" or "$", and no word
// the engine reserves: a name the engine reads back as the same name when it stands unquoted in
// a statement (dialect 1 has no other way to write one).
bool isPlainIdentifier(const QString &name);
// The words the engine reserves ("USER", "ORDER", "SELECT"...): no name where they stand bare.
const QSet<QString> &reservedWords();
