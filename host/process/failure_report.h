// failure_report.h -- the exception a command ended with, as one line on stderr and an exit status.
#pragma once

namespace gloamer {

// Call inside a catch block: prints the exception being handled as "gloamer: ..." (nothing for a stop request)
// and returns its status: 128 + the signal for StopRequested, 2 for UsageError, 1 for anything else.
int reportCurrentFailure();

} // namespace gloamer
