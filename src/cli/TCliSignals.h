#pragma once
// SIGINT, SIGTERM and SIGHUP as a Qt signal: the handler only writes a byte to a socket pair,
// and the event loop reports each arrival, so stopping the run happens on the main thread.
// A broken pipe is no signal here: a reader of standard output that went away must not end the
// conversions.

#include <QObject>

class QSocketNotifier;

class TCliSignals : public QObject
{
    Q_OBJECT

public:
    explicit TCliSignals(QObject* parent = nullptr);
    // Restores the default actions.
    ~TCliSignals() override;

signals:
    // Once per signal that arrived.
    void Arrived(int number);

private:
    void PipeReadable();

    QSocketNotifier* notifier = nullptr;
};
