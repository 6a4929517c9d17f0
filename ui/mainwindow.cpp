#include "mainwindow.h"

#include "accessibility.h"
#include "artwork.h"
#include "keypreview.h"
#include "loginbox.h"
#include "messagebox.h"
#include "threadedrun.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

// The pictures are built into the ui library; a static library must register them itself.
static void loadPictures()
{
    Q_INIT_RESOURCE(resources);
}

namespace {
const QColor atRest(182, 66, 69);     // 4539062
const QColor highlighted(128, 0, 0);  // 128

// The focus ring around a command panel, outside it: a white line against the panel's own red
// (which the highlight darkens only 2:1), then two pixels of the window's text colour against
// the window, whatever the desktop's palette.
const int ringWidth = 3;

void paintFocusRing(QPainter &p, const QRect &panel, const QColor &outside)
{
    auto ring = [&p](const QRect &outer, int width, const QColor &colour) {
        QRegion band(outer);
        band -= QRegion(outer.adjusted(width, width, -width, -width));
        for (const QRect &r : band)
            p.fillRect(r, colour);
    };
    ring(panel.adjusted(-1, -1, 1, 1), 1, Qt::white);
    ring(panel.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth), ringWidth - 1, outside);
}
} // namespace

TForm1::TForm1(QWidget *parent) : TForm1(nullptr, Conversion::Options{}, parent) {}

TForm1::TForm1(dbx::Layer &layer, Conversion::Options options, QWidget *parent) : TForm1(&layer, options, parent) {}

TForm1::TForm1(dbx::Layer *layer, Conversion::Options options, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dbVestrel(layer),
      ui_(std::make_unique<Ui::TForm1>()),
      options_(options)
{
    loadPictures();
    accessibility::install();
    ui_->setupUi(this);
    winfont::useLayoutPixels(this);
    // A title bar or a task bar shows the icon at 16 or 32 pixels: the drawing made for them,
    // not the larger one shrunk.
    QIcon icon = windowIcon();
    for (int size : {16, 32})
        icon.addPixmap(QPixmap::fromImage(artwork::programIcon(size)));
    setWindowIcon(icon);
    ui_->Label6->setBuddy(ui_->edtDestino);
    setFixedSize(size());
    const QWidgetList focusOrder{ui_->Panel2, ui_->edtDestino, ui_->pnlAbrirVestrel, ui_->pnlConverter, ui_->pnlSair};
    new KeyPreview(this, focusOrder);
    new ArrowNavigation(this, focusOrder);
    // During a run Open and Convert cannot run, and assistive technology is told so; Exit can:
    // it closes the window, which stops the run first.
    connect(this, &TForm1::runningChanged, this, [this](bool running) {
        for (TPanel *panel : {ui_->pnlAbrirVestrel, ui_->pnlConverter})
            panel->setCommandAvailable(!running);
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *before, QWidget *now) {
        for (QWidget *w : {before, now})
            if (w && w->parentWidget() == this)
                update(w->geometry().adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth));
    });
    FormCreate();
}

TForm1::~TForm1()
{
    // Gone under a run (the application ended by other means than the window): the run is
    // stopped and undone before the connection and the widgets go.
    run_.reset();
    qApp->removeEventFilter(this);
}

void TForm1::FormCreate()
{
    ui_->barra->setProgress(0);
    ui_->lblProgresso->setCaption(QString());
}

QPoint TForm1::centredPosition(const QRect &desktop, const QSize &outer)
{
    int x = desktop.width() / 2 + desktop.left() - outer.width() / 2;
    int y = desktop.height() / 2 + desktop.top() - outer.height() / 2;
    return {std::max(x, desktop.left()), std::max(y, desktop.top())};
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (placed_)
        return;
    placed_ = true;
    ui_->edtDestino->setFocus(Qt::ActiveWindowFocusReason);
    // The frame is known once the window manager has framed the window.
    QTimer::singleShot(0, this, [this] {
        if (QScreen *s = screen())
            move(centredPosition(s->virtualGeometry(), frameGeometry().size()));
    });
}

TPanel *TForm1::focusedCommand() const
{
    for (TPanel *panel : {ui_->pnlAbrirVestrel, ui_->pnlConverter, ui_->pnlSair})
        if (focusWidget() == panel)
            return panel;
    return nullptr;
}

void TForm1::paintEvent(QPaintEvent *)
{
    // The window's own focus, shown while a box or dialog holds the keyboard too, as the
    // panel's highlight is.
    if (TPanel *panel = focusedCommand()) {
        QPainter p(this);
        paintFocusRing(p, panel->geometry(), palette().color(QPalette::WindowText));
    }
}

// ---- the handlers the layout binds

void TForm1::pnlAbrirOrigemEnter()
{
    if (auto *panel = qobject_cast<TPanel *>(sender()))
        panel->setColor(highlighted);
}

void TForm1::pnlAbrirOrigemExit()
{
    if (auto *panel = qobject_cast<TPanel *>(sender()))
        panel->setColor(atRest);
}

void TForm1::imgAbrirOrigemMouseEnter()
{
    if (auto *panel = qobject_cast<TPanel *>(sender() ? sender()->parent() : nullptr))
        emit panel->OnEnter();
}

void TForm1::imgAbrirOrigemMouseLeave()
{
    if (auto *panel = qobject_cast<TPanel *>(sender() ? sender()->parent() : nullptr))
        emit panel->OnExit();
}

// The keys that press the focused command panel, as they press a button.
static bool pressesCommand(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

void TForm1::FormKeyDown(int &key, Qt::KeyboardModifiers)
{
    if (!pressesCommand(key))
        return;
    if (auto *panel = qobject_cast<TPanel *>(focusWidget()))
        emit panel->OnClick();
}

QString TForm1::nameFilter(const QString &filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0)
        return filter;
    const QStringList masks = filter.mid(bar + 1).split(u';', Qt::SkipEmptyParts);
    QStringList trimmed;
    for (const QString &mask : masks)
        trimmed << mask.trimmed();
    return filter.left(bar).trimmed() + QStringLiteral(" (") + trimmed.join(u' ') + u')';
}

QStringList TForm1::nameFilters(const QString &filters)
{
    const QStringList parts = filters.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << nameFilter(parts[i] + u'|' + parts[i + 1]);
    return out;
}

namespace {

// The Open dialog's list: every column shown and as wide as what it shows (the names whole),
// the dialog widened, as far as its screen allows, until they all fit; what does not fit then
// comes off the name column.
void fitColumns(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView *header = view->header();
    for (int c = 0; c < header->count(); ++c) {
        header->showSection(c);
        view->resizeColumnToContents(c);
    }
    int missing = header->length() - view->viewport()->width();
    if (missing <= 0)
        return;
    const QScreen *screen = dialog.screen();
    const int room = screen ? std::max(screen->availableGeometry().width(), dialog.width()) : dialog.width() + missing;
    const int wider = std::min(dialog.width() + missing, room) - dialog.width();
    dialog.resize(dialog.width() + wider, dialog.height());
    missing -= wider;
    if (missing > 0)
        header->resizeSection(0, std::max(header->sectionSize(0) - missing, header->minimumSectionSize()));
}

} // namespace

void TForm1::imgAbrirVestrelClick()
{
    // A new dialog each time, gone when the command ends: nothing of an earlier choice carries over.
    QFileDialog od(this);
    od.setObjectName(QStringLiteral("od"));
    od.setNameFilters(nameFilters(QStringLiteral("Firebird|*.fb;*.fdb;*.gdb|Todos os arquivos|*")));
    od.setFileMode(QFileDialog::AnyFile);
    od.setAcceptMode(QFileDialog::AcceptOpen);
    od.setOption(QFileDialog::DontUseNativeDialog);
    od.setViewMode(QFileDialog::Detail); // whatever an earlier dialog left in Qt's settings
    od.setSizeGripEnabled(true);
    // The list fills in from another thread: it is fitted each time a folder has come in, and
    // once another filter has shown other names.
    if (auto *files = od.findChild<QFileSystemModel *>())
        connect(files, &QFileSystemModel::directoryLoaded, &od, [&od] { fitColumns(od); });
    connect(&od, &QFileDialog::filterSelected, &od, [&od] { QTimer::singleShot(0, &od, [&od] { fitColumns(od); }); });
    // It starts where the last database was, else in the user's home folder.
    const QString folder = QFileInfo(ui_->edtDestino->text()).absolutePath();
    od.setDirectory(!ui_->edtDestino->text().isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath());
    const bool chosen = od.exec() == QDialog::Accepted && !od.selectedFiles().isEmpty();
    // A completion list still open when the name was confirmed would outlive the dialog and
    // take the keyboard from the window.
    for (QCompleter *completer : od.findChildren<QCompleter *>())
        if (completer->popup())
            completer->popup()->hide();
    activateWindow();
    if (chosen)
        ui_->edtDestino->setText(od.selectedFiles().first());
}

void TForm1::imgSairClick()
{
    close();
}

void TForm1::imgConverterClick()
{
    // One run at a time, whatever path the command comes by.
    if (running())
        return;
    // The run goes on on its own thread; the window, in its own loop, hears when it is over.
    run_ = std::make_unique<ThreadedRun>(dbVestrel, *this, options_);
    connect(run_.get(), &ThreadedRun::finished, this, &TForm1::runEnded);
    emit runningChanged(true);
    // While the run goes on the window answers the window system, but takes no input other
    // than closing it (eventFilter).
    qApp->installEventFilter(this);
    run_->start();
}

void TForm1::runEnded()
{
    qApp->removeEventFilter(this);
    lastOutcome_ = run_->outcome();
    lastFailure_ = run_->failure();
    if (stopping_) {
        // What the run said while it stopped stayed behind "Parando…"; now the window says how
        // it ended.
        stopping_ = false;
        if (lastOutcome_ == Conversion::Outcome::Interrupted) {
            ui_->barra->setProgress(0);
            heldStatus_ = lastFailure_.section(u'\r', 0, 0);
        }
        ui_->lblProgresso->setCaption(heldStatus_);
    }
    emit runningChanged(false);
    if (endRequested_)
        close();
}

bool TForm1::running() const
{
    return run_ && run_->running();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    auto *target = qobject_cast<QWidget *>(watched);
    if (!running() || !target || target->window() != this)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        // Exit closes the window, which stops the run.
        return target != ui_->pnlSair && target != ui_->imgSair;
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        return !(pressesCommand(key) && focusWidget() == ui_->pnlSair);
    }
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
    case QEvent::ContextMenu:
    case QEvent::ToolTip:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (running()) {
        // Closed during a run (its close button, Alt+F4, Exit): the run stops first.
        event->ignore();
        endOnRequest();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::endOnRequest()
{
    endRequested_ = true;
    if (running()) {
        endedDuringRun_ = true;
        // The undo can take a while: the window says at once that it is stopping, and nothing
        // the run still reports takes that back.
        if (!stopping_) {
            stopping_ = true;
            heldStatus_ = ui_->lblProgresso->Caption();
            ui_->lblProgresso->setCaption(QStringLiteral("Parando…"));
            repaint();
        }
        run_->interrupt();
    }
    // A box or dialog open now would keep the run, or the window, waiting.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
            dialog->reject();
    if (!running())
        close();
}

// ---- what the run shows through

void TForm1::setPathText(const QString &path)
{
    ui_->edtDestino->setText(path);
}

QString TForm1::pathText() const
{
    return ui_->edtDestino->text();
}

void TForm1::showMessage(MessageKind kind, const QString &text)
{
    // Nobody is there to close a box once the program has been asked to end.
    if (!endRequested_)
        TMessageBox::execute(this, kind, text);
}

bool TForm1::confirm(const QString &text)
{
    return !endRequested_ && TMessageBox::confirm(this, text);
}

std::optional<TLogin> TForm1::askLogin(const QString &database, const TLogin &refused)
{
    if (endRequested_)
        return std::nullopt;
    return TLoginBox::ask(this, database, refused);
}

void TForm1::setGaugeMax(int maximum)
{
    ui_->barra->setMaxValue(maximum);
}

void TForm1::setStatus(const QString &text)
{
    if (stopping_)
        heldStatus_ = text;
    else
        ui_->lblProgresso->setCaption(text);
}

void TForm1::flushProgress()
{
    repaint();
}

void TForm1::addProgress(int amount)
{
    ui_->barra->AddProgress(amount);
}

void TForm1::setProgress(int value)
{
    ui_->barra->setProgress(value);
}
