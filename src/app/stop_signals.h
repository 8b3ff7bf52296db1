// StopSignals: SIGTERM, SIGHUP and SIGINT reach the window as a Qt signal, through a socket pair
// the handler writes one byte to (the only thing a handler may safely do), so that the window
// stops the job as at the user's Yes and puts the server's files back before the program ends.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace app {

class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopAsked();

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace app
