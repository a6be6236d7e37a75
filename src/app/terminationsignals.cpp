#include "terminationsignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end is used from the signal handler, which may only call
// async-signal-safe functions: write() is one.
int signalPipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

const int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : handledSignals)
        sigaction(s, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int s : handledSignals)
        signal(s, SIG_DFL);
    if (signalPipe[0] >= 0) {
        close(signalPipe[0]);
        close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

void TerminationSignals::readSignal()
{
    char byte = 0;
    if (read(signalPipe[0], &byte, 1) == 1)
        emit terminationRequested(static_cast<unsigned char>(byte));
}
