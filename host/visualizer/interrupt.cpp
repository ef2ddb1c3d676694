// interrupt.cpp -- signal handlers that only note the request, so that the plug-in is quit on its own thread.
#include "host/visualizer/interrupt.h"

#include <csignal>

namespace gloamer {

namespace {

volatile std::sig_atomic_t requestedBy = 0;

void onSignal(int number)
{
    if (requestedBy) {
        // Asked twice: the clean way out is stuck, so leave the way the signal means.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    requestedBy = number;
}

} // namespace

void installInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep or wait ends early and the loop looks at the request
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested()
{
    return requestedBy != 0;
}

int interruptSignal()
{
    return requestedBy;
}

void clearInterruptRequest()
{
    requestedBy = 0;
}

} // namespace gloamer
