#include "support/ModalAnswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

void WhenModal(std::function<void(QWidget*)> action)
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

ModalResponder::ModalResponder(std::function<void(QWidget*)> action)
{
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, &timer, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible())
            action(modal);
    });
    timer.start();
}

void AnswerNextMessageBox(QString* text, bool* shown, QString* caption)
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
