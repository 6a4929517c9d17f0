#pragma once

#include <QStringList>

#include <functional>

// The statement of a query as lines; any change notifies its query.
class TSQLStrings final {
public:
    explicit TSQLStrings(std::function<void()> changed) : changed_(std::move(changed)) {}
    void Clear();
    // Replaces every line at once; the text is split at CR LF, CR or LF.
    void setText(const QString &text);
    // Every line followed by CR LF, the last one included.
    QString Text() const;
    const QStringList &lines() const { return lines_; }

private:
    QStringList lines_;
    std::function<void()> changed_;
};
