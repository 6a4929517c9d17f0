#include "application.h"

#include "errors.h"
#include "messagebox.h"
#include "winfont.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QLabel>
#include <QLocale>
#include <QTranslator>
#include <QMessageBox>
#include <QProxyStyle>

namespace {

// Tooltips come 500 ms after the pointer arrives.
class ToolTipStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 500;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

bool TApplication::loadQtTranslations()
{
    auto *qt = new QTranslator(QCoreApplication::instance());
    if (!qt->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    return QCoreApplication::installTranslator(qt);
}

void TApplication::setIdentity()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(CONVERSOR_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(CONVERSOR_APP_ID));
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setStyle(new ToolTipStyle);
    winfont::loadTahoma();
}

QString TApplication::titleFor(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    name = name.left(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    return name.left(1) + name.mid(1).toLower();
}

QString TApplication::errorText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void TApplication::showException(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, titleFor(applicationFilePath()), errorText(message), QMessageBox::Ok,
                    activeWindow());
    // Its text selected and copied as in the window's own boxes.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (auto *text = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
        TMessageBox::useSelectionColours(text);
    box.exec();
}

void TApplication::showFailure(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Exception &e) {
        showException(e.message());
    } catch (const std::exception &e) {
        showException(QString::fromUtf8(e.what()));
    }
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    // The last resort, for failures from outside the program's handlers.
    bool handled = false;
    handle([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
