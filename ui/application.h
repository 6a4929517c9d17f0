#pragma once

#include <QApplication>

#include <exception>
#include <utility>

// The application object: an error that escapes any handler is shown in an error box captioned
// with the application's title, and the loop goes on.
class TApplication final : public QApplication {
    Q_OBJECT
public:
    // Qt's own texts (dialogs, command line) in Brazilian Portuguese, like the window's, from
    // Qt's translations; true when they were found.
    static bool loadQtTranslations();
    // What desktops match the window to: the desktop entry's name and the program's version.
    static void setIdentity();

    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // The program file's name cut at its first ".", letters after the first in lower case.
    static QString titleFor(const QString &programPath);
    // The message as the error box shows it: "." added after a character above ".".
    static QString errorText(const QString &message);

    // Shows a failure that escaped a handler (the box is modal; the loop goes on afterwards).
    static void showException(const QString &message);
    // Runs one of the program's handlers; a failure that escapes it is shown and goes no further.
    // Qt's own frames between a handler and notify() are built without exception support: a
    // failure unwinding through them skips their clean-up (the copy of the event Qt was
    // delivering leaks), so the program's handlers stop their failures here.
    template <class Handler> static void handle(Handler &&handler)
    {
        try {
            std::forward<Handler>(handler)();
        } catch (...) {
            showFailure(std::current_exception());
        }
    }

private:
    // Shows a failure with a message; any other kind goes on up.
    static void showFailure(const std::exception_ptr &failure);
};
