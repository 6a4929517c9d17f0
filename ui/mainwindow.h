#pragma once

#include "conversion.h"
#include "sqlconnection.h"

#include <QWidget>

#include <memory>

namespace Ui {
class TForm1;
}
class TGauge;
class TLabel;
class TPanel;
class QLineEdit;
class ThreadedRun;

// The main window: its layout lives in mainwindow.ui; this class holds its behaviour.
class TForm1 final : public QWidget, public ConversionView {
    Q_OBJECT
public:
    // Over a Firebird client layer of its own; or over the layer given, with the runs' options
    // (a layer that is no engine has no file to copy).
    explicit TForm1(QWidget *parent = nullptr);
    TForm1(dbx::Layer &layer, Conversion::Options options, QWidget *parent = nullptr);
    ~TForm1() override;

    // Where the window goes on a desktop: centred, its top-left kept on the desktop.
    static QPoint centredPosition(const QRect &desktop, const QSize &outer);
    // "Firebird | *.fb;*.fdb" as a filter of Qt's file dialog: "Firebird (*.fb *.fdb)".
    static QString nameFilter(const QString &filter);
    // "Firebird|*.fb|Todos os arquivos|*", description and masks by turns, as its filters.
    static QStringList nameFilters(const QString &filters);

    Ui::TForm1 &ui() { return *ui_; }
    TSQLConnection dbVestrel;

    // Puts a database's path in the path field, as a confirmed Open does.
    void setPathText(const QString &path);
    // A request to end the program (a signal, or the window closed during a run): a run in
    // progress is stopped (cancelled, undone, no box) and the window closes once it is over;
    // otherwise the window closes as Exit does. Once a run's commit has been sent, its outcome
    // stands, and the window closes without its box.
    void endOnRequest();
    // True while a conversion run is under way.
    bool running() const;
    // True when the end was asked for while a run was under way.
    bool endedDuringRun() const { return endedDuringRun_; }
    // How the last run ended, and what it would have said had it not been stopped.
    Conversion::Outcome lastOutcome() const { return lastOutcome_; }
    QString lastFailure() const { return lastFailure_; }
    // The window's key handler: sees every key before the focused member does.
    void FormKeyDown(int &key, Qt::KeyboardModifiers shift);

    // What the run shows through.
    QString pathText() const override;
    void showMessage(MessageKind kind, const QString &text) override;
    bool confirm(const QString &text) override;
    std::optional<TLogin> askLogin(const QString &database, const TLogin &refused) override;
    void setGaugeMax(int maximum) override;
    void setStatus(const QString &text) override;
    void flushProgress() override;
    void addProgress(int amount) override;
    void setProgress(int value) override;

signals:
    // A conversion run started (true) or ended (false).
    void runningChanged(bool running);

public slots:
    void imgAbrirVestrelClick();
    void imgSairClick();
    void imgConverterClick();
    void pnlAbrirOrigemEnter();
    void pnlAbrirOrigemExit();
    void imgAbrirOrigemMouseEnter();
    void imgAbrirOrigemMouseLeave();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TForm1(dbx::Layer *layer, Conversion::Options options, QWidget *parent);
    void FormCreate();
    // The run is over: the window says how it ended, and closes when asked to meanwhile.
    void runEnded();
    // The command panel that has the window's focus, if one has.
    TPanel *focusedCommand() const;

    std::unique_ptr<Ui::TForm1> ui_;
    const Conversion::Options options_; // the window always copies, unless given another layer
    std::unique_ptr<ThreadedRun> run_; // the last run, while it goes on and after
    bool endRequested_ = false;
    bool endedDuringRun_ = false;
    bool stopping_ = false; // a stop asked for, the run not over yet: the status line says so
    QString heldStatus_;    // what the run said meanwhile
    Conversion::Outcome lastOutcome_ = Conversion::Outcome::None;
    QString lastFailure_;
    bool placed_ = false;
};
