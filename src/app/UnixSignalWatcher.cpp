#include "app/UnixSignalWatcher.h"

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSocket[2] = {-1, -1};

extern "C" void forwardSignal(int signalNumber)
{
    const auto byte = static_cast<unsigned char>(signalNumber);
    const int savedErrno = errno;
    [[maybe_unused]] const auto written = ::write(signalSocket[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSocket) != 0)
        qFatal("Cannot create the signal socket pair");

    notifier = std::make_unique<QSocketNotifier>(signalSocket[1], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this,
            &UnixSignalWatcher::readPendingSignals);

    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : signalNumbers)
        ::sigaction(signalNumber, &action, nullptr);
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    notifier.reset();
    ::close(signalSocket[0]);
    ::close(signalSocket[1]);
    signalSocket[0] = signalSocket[1] = -1;
}

void UnixSignalWatcher::readPendingSignals()
{
    unsigned char byte = 0;
    while (::read(signalSocket[1], &byte, 1) == 1)
        emit signalReceived(byte);
}
