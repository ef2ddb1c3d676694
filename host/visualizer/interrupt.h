// interrupt.h -- Ctrl-C and SIGTERM as a request to stop, seen by the frame loop between frames.
#pragma once

namespace gloamer {

// From here on the first SIGINT or SIGTERM only raises the request; a second one ends the process at once.
void installInterruptHandlers();
bool interruptRequested();
// The signal that asked to stop, 0 when none did.
int interruptSignal();
void clearInterruptRequest();

} // namespace gloamer
