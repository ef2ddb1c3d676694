// interrupt_posix.cpp -- which signals stop gloamer on Linux, and how: without SA_RESTART, SIGPIPE ignored.
#include "host/process/interrupt.h"

#include <csignal>
#include <initializer_list>

namespace gloamer {

void installInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep or wait ends early and the loop looks at the request
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
    action.sa_handler = onFatalSignal;
    for (int number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(number, &action, nullptr);
    // A reader of our messages that has gone costs the messages, not the output.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace gloamer
