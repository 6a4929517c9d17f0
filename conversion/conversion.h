#pragma once

#include <QString>

class TSQLConnection;

enum class MessageKind { Information, Error };

// What the conversion run needs of the window that shows it.
class ConversionView {
public:
    virtual ~ConversionView() = default;
    virtual QString pathText() const = 0;
    // Shows a modal message box and returns once the user has closed it.
    virtual void showMessage(MessageKind kind, const QString &text) = 0;
    virtual void setGaugeMax(int maximum) = 0;
    virtual void setStatus(const QString &text) = 0;
    // Paints the window before returning, so that progress shows while the run holds the thread.
    virtual void repaintNow() = 0;
    virtual void addProgress(int amount) = 0;
    virtual void setProgress(int value) = 0;
};

// The Convert command: attaches to the chosen database and rewrites CODPROD in every relation
// that has it, with the user triggers switched off meanwhile. A failed run undoes its work.
class Conversion final {
public:
    Conversion(TSQLConnection &db, ConversionView &view) : db_(db), view_(view) {}

    // Attaches to the chosen file; on failure shows the error box and returns false.
    bool ConectaBancoVestrel();
    void run();

private:
    // Undoes a failed run; false when the triggers it had switched off could not be switched
    // on again.
    bool undo(bool triggersOff);

    TSQLConnection &db_;
    ConversionView &view_;
};
