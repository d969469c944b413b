#include "ui/ShutdownSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "platform/Exception.h"

namespace qlk {

namespace {

volatile sig_atomic_t writeEnd = -1;

void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending request; losing this byte is harmless.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

void InstallHandler(int signalNumber, struct sigaction& old) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, &old);
}

}  // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        throw Exception("Cannot watch for shut-down signals");
    }
    writeEnd = fds_[1];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ShutdownSignals::Drain);
    InstallHandler(SIGTERM, oldTerm_);
    InstallHandler(SIGINT, oldInt_);
}

ShutdownSignals::~ShutdownSignals() {
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::sigaction(SIGINT, &oldInt_, nullptr);
    writeEnd = -1;
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void ShutdownSignals::Drain() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(fds_[0], &byte, 1) == 1) last = byte;
    if (last != 0) emit Received(last);
}

}  // namespace qlk
