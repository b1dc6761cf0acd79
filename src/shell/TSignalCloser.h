#pragma once
// Turns SIGTERM and SIGINT into an ordinary close of the main window, so a logout or Ctrl+C runs
// the window's closing steps. The handler only writes to a pipe; the GUI thread does the rest.

#include <QObject>

class QSocketNotifier;
class QWidget;

class TSignalCloser : public QObject
{
    Q_OBJECT

public:
    explicit TSignalCloser(QWidget* mainWindow);
    ~TSignalCloser() override;

private:
    void SignalArrived();

    QWidget* window;
    QSocketNotifier* notifier = nullptr;
};
