#pragma once
// Drives a modal window from the test: once a modal window is up (the code under test is then
// inside exec()), the action runs on it. Polls from the event loop that exec() itself runs.

#include <QString>
#include <QTimer>
#include <functional>

class QWidget;

// Runs action once on the next modal window that comes up.
void WhenModal(std::function<void(QWidget*)> action);

// Acts on every modal window that comes up while it lives.
class ModalResponder
{
public:
    explicit ModalResponder(std::function<void(QWidget*)> action);

private:
    QTimer timer;
};

// Answers the next message box with OK and keeps its text (and that it was one at all).
void AnswerNextMessageBox(QString* text, bool* shown = nullptr, QString* caption = nullptr);
