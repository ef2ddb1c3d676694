// interrupt.cpp -- signal handlers that only note the request, so that the plug-in is quit on its own thread.
#include "host/process/interrupt.h"

#include <csignal>

#include "host/process/pending_file.h"

namespace gloamer {

namespace {

volatile std::sig_atomic_t requestedBy = 0;

} // namespace

// Leaves the way the signal means, with no temporary of an unfinished output left behind.
void onFatalSignal(int number)
{
    removePendingFiles();
    std::signal(number, SIG_DFL);
    std::raise(number);
}

void onStopSignal(int number)
{
    if (requestedBy) {
        onFatalSignal(number); // asked twice: the clean way out is stuck
        return;
    }
    requestedBy = number;
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
