// interrupt_win32.cpp -- which signals stop gloamer.exe: Ctrl-C and Ctrl-Break through the C runtime.
#include "host/process/interrupt.h"

#include <csignal>
#include <initializer_list>

namespace gloamer {

namespace {

// The C runtime puts a signal back to its default before calling the handler: set it again first.
void onStop(int number)
{
    std::signal(number, onStop);
    onStopSignal(number);
}

} // namespace

void installInterruptHandlers()
{
    for (int number : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(number, onStop);
    for (int number : {SIGSEGV, SIGFPE, SIGILL, SIGABRT})
        std::signal(number, onFatalSignal);
}

} // namespace gloamer
