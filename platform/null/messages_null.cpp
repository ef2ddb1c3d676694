// messages_null.cpp -- the null backend's events: there are none; only what the program posts is queued.
#include "platform/common/backend.h"

namespace gloamer::platform::backend {

void pumpEvents() {}

// Nothing can arrive from outside, so waiting would only delay the caller.
void waitForEvents(int) {}

} // namespace gloamer::platform::backend
