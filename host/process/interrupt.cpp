// interrupt.cpp -- signal handlers that only note the request, so that the plug-in is quit on its own thread.
#include "host/process/interrupt.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include "host/process/pending_file.h"

namespace gloamer {

namespace {

volatile std::sig_atomic_t requestedBy = 0;

char crashNote[512];
volatile std::sig_atomic_t crashNoteLength = 0;

void writeAll(const char* text, size_t length)
{
    while (length > 0) {
        ssize_t written = write(2, text, length);
        if (written <= 0)
            return;
        text += written;
        length -= (size_t)written;
    }
}

} // namespace

const char* crashName(int number)
{
    switch (number) {
    case SIGSEGV: return "SIGSEGV, a segmentation fault";
#ifdef SIGBUS
    case SIGBUS: return "SIGBUS, a bus error";
#endif
    case SIGFPE: return "SIGFPE, an arithmetic fault";
    case SIGILL: return "SIGILL, an illegal instruction";
    case SIGABRT: return "SIGABRT, it aborted";
    default: return nullptr;
    }
}

void setCrashNote(const std::string& text)
{
    crashNoteLength = 0;
    size_t length = std::min(text.size(), sizeof(crashNote));
    std::memcpy(crashNote, text.data(), length);
    crashNoteLength = (std::sig_atomic_t)length;
}

// Leaves the way the signal means, with no temporary of an unfinished output left behind.
void onFatalSignal(int number)
{
    if (const char* name = crashName(number); name && crashNoteLength > 0) {
        writeAll(crashNote, (size_t)crashNoteLength);
        writeAll(" (", 2);
        writeAll(name, std::strlen(name));
        writeAll(")\n", 2);
    }
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
