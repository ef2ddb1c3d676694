// timeout_option.cpp -- --timeout SECONDS: how long a command that reads an input waits for its data.
#include "host/media/read_watch.h"
#include "host/commands/command_line.h"

namespace gloamer {

void addTimeoutOption(CLI::App& command)
{
    command
        .add_option_function<double>(
            "--timeout", [](const double& seconds) { setReadTimeout(seconds); },
            "Give up on an input (a stream, a pipe, standard input) that sends no data for this many seconds "
            "(default: 30)")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
}

} // namespace gloamer
