#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

namespace qlk {

// Turns SIGTERM and SIGINT into a Qt signal delivered on the event loop, so a
// service manager (or Ctrl-C) closes the gateway in the same orderly way as
// the window's close button. The handler only writes one byte into a pipe;
// everything else happens on the user-interface thread. One instance at a
// time; the previous handlers come back when it goes.
class ShutdownSignals : public QObject {
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

signals:
    void Received(int signalNumber);

private:
    void Drain();

    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
};

}  // namespace qlk
