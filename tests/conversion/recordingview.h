#pragma once

#include <functional>

#include "conversion.h"
#include "sqlconnection.h"

#include <QStringList>

// A window for the run that draws nothing: it records what the run shows, and keeps a gauge
// that clamps like the real one.
class RecordingView final : public ConversionView {
public:
    struct Box {
        MessageKind kind;
        QString text;
        int gaugeMax;    // as the box opened
        int gaugeValue;
        QString status;
    };

    QString path;
    QList<Box> boxes;
    QStringList questions;
    bool answer = false; // to every question
    std::function<void()> onConfirm; // called while the question is open (a stop asked meanwhile)
    QList<std::optional<TLogin>> logins; // the answers to the logins asked for, in turn; then none
    QStringList loginsAsked;              // "database: refused user" each time
    QStringList events; // "max=N", "status=...", "flush", "add=N", "progress=N"
    QStringList statuses;
    int gaugeMax = 100;
    int gaugeValue = 0;
    QString status;

    // The status lines of the safety copy, the first ones of a run that takes one.
    QStringList copyLines() const
    {
        QStringList lines;
        for (const QString &s : statuses)
            if (s.startsWith(QLatin1String("Copiando o banco: ")))
                lines << s;
        return lines;
    }

    QString pathText() const override { return path; }
    void showMessage(MessageKind kind, const QString &text) override
    {
        events << QStringLiteral("box");
        boxes.append({kind, text, gaugeMax, gaugeValue, status});
    }
    bool confirm(const QString &text) override
    {
        events << QStringLiteral("confirm");
        questions << text;
        if (onConfirm)
            onConfirm();
        return answer;
    }
    std::optional<TLogin> askLogin(const QString &database, const TLogin &refused) override
    {
        events << QStringLiteral("login");
        loginsAsked << database + QStringLiteral(": ") + refused.user;
        return logins.isEmpty() ? std::nullopt : logins.takeFirst();
    }
    void setGaugeMax(int maximum) override
    {
        events << QStringLiteral("max=%1").arg(maximum);
        gaugeMax = maximum;
        gaugeValue = std::min(gaugeValue, gaugeMax);
    }
    void setStatus(const QString &text) override
    {
        events << QStringLiteral("status=") + text;
        statuses << text;
        status = text;
    }
    void flushProgress() override { events << QStringLiteral("flush"); }
    void addProgress(int amount) override
    {
        events << QStringLiteral("add=%1").arg(amount);
        gaugeValue = std::clamp(gaugeValue + amount, 0, gaugeMax);
    }
    void setProgress(int value) override
    {
        events << QStringLiteral("progress=%1").arg(value);
        gaugeValue = std::clamp(value, 0, gaugeMax);
    }
};

// One run of the Convert command on file, on a connection of its own that goes afterwards.
inline RecordingView convertOnce(const QString &file)
{
    TSQLConnection db;
    RecordingView view;
    view.path = file;
    Conversion(db, view).run();
    return view;
}
