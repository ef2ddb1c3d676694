// interrupt.h -- Ctrl-C, SIGTERM and SIGHUP as a request to stop, seen by the frame loop between frames.
#pragma once

#include <string>

namespace gloamer {

// From here on the first SIGINT, SIGTERM or SIGHUP only raises the request; a second one ends the process at
// once, as does a crash, after removing the temporaries of unfinished outputs. SIGPIPE is ignored, so that a
// closed reader of our messages costs a message and not the output.
void installInterruptHandlers();
bool interruptRequested();
// The signal that asked to stop, 0 when none did.
int interruptSignal();
void clearInterruptRequest();

// While set, a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) first writes this text and the crash's name
// as one line on stderr: "the plug-in 'X' crashed" says whose fault it was. Empty: no line.
void setCrashNote(const std::string& text);
// How the crash note names a crash signal ("SIGSEGV, a segmentation fault"); null for any other signal.
const char* crashName(int number);

// The handlers each system's installInterruptHandlers sets: a request to stop, and a crash or a second request.
void onStopSignal(int number);
void onFatalSignal(int number);

} // namespace gloamer
