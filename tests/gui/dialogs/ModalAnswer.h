#pragma once
// Drives a modal window from the test: once a modal window is up (the code under test is then
// inside exec()), the action runs on it. Polls from the event loop that exec() itself runs.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

inline void WhenModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

// Acts on every modal window that comes up while it lives.
class ModalResponder
{
public:
    explicit ModalResponder(std::function<void(QWidget*)> action)
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, &timer, [action] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible())
                action(modal);
        });
        timer.start();
    }

private:
    QTimer timer;
};

// Answers the next message box with OK and keeps its text (and that it was one at all).
inline void AnswerNextMessageBox(QString* text, bool* shown = nullptr, QString* caption = nullptr)
{
    WhenModal([text, shown, caption](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        if (text)
            *text = box->text();
        if (caption)
            *caption = box->windowTitle();
        if (shown)
            *shown = true;
        box->button(QMessageBox::Ok)->click();
    });
}
