#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <functional>

// While it lives, hands each modal window that comes up (a dialog, a message box), once, to
// answer, from inside that window's own loop, until answer returns false. It checks nothing
// itself, and answer must not either: a check that failed in there would leave the window open
// and the test waiting. Note what was seen, answer, and check afterwards.
class ModalAnswer final {
public:
    explicit ModalAnswer(std::function<bool(QWidget *)> answer) : answer_(std::move(answer))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == last_)
                return;
            last_ = modal;
            if (!answer_(modal))
                timer_.stop();
        });
        timer_.start(10);
    }
    ModalAnswer(const ModalAnswer &) = delete;
    ModalAnswer &operator=(const ModalAnswer &) = delete;

private:
    std::function<bool(QWidget *)> answer_;
    QTimer timer_;
    QPointer<QWidget> last_;
};
