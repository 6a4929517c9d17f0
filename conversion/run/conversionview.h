#pragma once

#include "logins.h"

#include <QString>

#include <optional>

enum class MessageKind { Information, Error };

// What the conversion run needs of the window that shows it.
class ConversionView {
public:
    virtual ~ConversionView() = default;
    virtual QString pathText() const = 0;
    // Shows a modal message box and returns once the user has closed it.
    virtual void showMessage(MessageKind kind, const QString &text) = 0;
    // Asks a question with the answers Yes and No ("No" the default); true for Yes.
    virtual bool confirm(const QString &text) = 0;
    virtual void setGaugeMax(int maximum) = 0;
    virtual void setStatus(const QString &text) = 0;
    // What was reported so far reaches the user now, not once the run is over: the window paints
    // it, a terminal's line is flushed.
    virtual void flushProgress() = 0;
    virtual void addProgress(int amount) = 0;
    virtual void setProgress(int value) = 0;
    // The server of database refused the login refused: asks the user for another and returns
    // once answered; nullopt when the user cancels, or nobody can be asked (as here).
    virtual std::optional<TLogin> askLogin(const QString & /*database*/, const TLogin & /*refused*/) { return std::nullopt; }
};
