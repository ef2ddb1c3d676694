// failure_report.cpp -- one wording and one status for each kind of failure, wherever a command ends.
#include "host/process/failure_report.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

int reportCurrentFailure()
{
    try {
        throw;
    } catch (const StopRequested&) {
        return 128 + (interruptSignal() ? interruptSignal() : SIGINT);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "gloamer: %s\n", error.what());
        return 2;
    } catch (const HostError& error) {
        std::fprintf(stderr, "gloamer: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "gloamer: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "gloamer: unexpected failure: %s\n", error.what());
    }
    return 1;
}

} // namespace gloamer
