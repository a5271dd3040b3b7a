#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <memory>

// Turns SIGINT and SIGTERM into a Qt signal on the main thread. A signal handler may only call
// async-signal-safe functions, so it writes one byte to a socket pair that the event loop watches.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignalWatcher(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

signals:
    void signalReceived(int signalNumber);

private:
    void readPendingSignals();

    std::unique_ptr<QSocketNotifier> notifier;
};
