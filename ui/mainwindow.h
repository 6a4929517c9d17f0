#pragma once

#include "conversion.h"
#include "sqlconnection.h"
#include "threadedrun.h"

#include <QWidget>

#include <memory>

namespace Ui {
class TForm1;
}
class TGauge;
class TLabel;
class QLineEdit;

// The main window: its layout lives in mainwindow.ui; this class holds its behaviour.
class TForm1 final : public QWidget, public ConversionView {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Where the window goes on a desktop: centred, its top-left kept on the desktop.
    static QPoint centredPosition(const QRect &desktop, const QSize &outer);
    // "Firebird | *.fb" as a filter of Qt's file dialog.
    static QString nameFilter(const QString &filter);

    Ui::TForm1 &ui() { return *ui_; }
    TSQLConnection dbVestrel;

    bool ConectaBancoVestrel();
    // Puts a database's path in the path field, as a confirmed Open does.
    void setPathText(const QString &path);
    // A request to end the program (a signal): a run in progress is stopped (cancelled, undone,
    // no box) and the window closes once it is over; otherwise the window closes as Exit does.
    void endOnRequest();
    // How the last run ended, and what it would have said had it not been stopped.
    Conversion::Outcome lastOutcome() const { return lastOutcome_; }
    QString lastFailure() const { return lastFailure_; }
    // The window's key handler: sees every key before the focused member does.
    void FormKeyDown(int &key, Qt::KeyboardModifiers shift);
    // True while a conversion run is under way.
    bool running() const;

    // What the run shows through.
    QString pathText() const override;
    void showMessage(MessageKind kind, const QString &text) override;
    void setGaugeMax(int maximum) override;
    void setStatus(const QString &text) override;
    void repaintNow() override;
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

private:
    void FormCreate();

    std::unique_ptr<Ui::TForm1> ui_;
    Conversion conversion_;
    ThreadedRun *run_ = nullptr; // the run in progress
    bool endRequested_ = false;
    Conversion::Outcome lastOutcome_ = Conversion::Outcome::None;
    QString lastFailure_;
    bool placed_ = false;
};
