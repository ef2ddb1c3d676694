// progress_lines.cpp -- JSON lines of a render's progress.
#include "host/offline/progress_lines.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "host/process/host_error.h"

#include <nlohmann/json.hpp>

namespace gloamer {

std::string progressLine(long frame, long total, double elapsed, const char* state)
{
    char line[200];
    const std::string totalText = total < 0 ? "null" : std::to_string(total);
    std::snprintf(line, sizeof(line), "{\"frame\":%ld,\"total\":%s,\"fps\":%.2f,\"elapsed\":%.2f,\"state\":\"%s\"}",
                  frame, totalText.c_str(), elapsed > 0 ? frame / elapsed : 0.0, elapsed, state);
    return line;
}

std::string streamProgressLine(const StreamProgress& progress)
{
    const double seconds = progress.elapsed > 0 ? progress.elapsed : 0.0;
    auto rate = [seconds](int64_t count) { return seconds > 0 ? std::round(count / seconds * 100) / 100 : 0.0; };
    nlohmann::ordered_json line = {{"frame", progress.frames},
                                   {"drawn", progress.drawn},
                                   {"fps", rate(progress.frames)},
                                   {"drawn_fps", rate(progress.drawn)},
                                   {"elapsed", std::round(seconds * 100) / 100},
                                   {"bytes", progress.bytes},
                                   {"connected", progress.connected},
                                   {"title", progress.title},
                                   {"state", progress.state}};
    // A title that is not UTF-8 is still a line: its bad bytes become U+FFFD.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ProgressLines::ProgressLines(const std::string& path)
    : file_(path == "-" ? stdout : std::fopen(path.c_str(), "w")), owned_(path != "-")
{
    if (!file_)
        throw HostError("cannot write the progress to '" + path + "': " + std::strerror(errno));
}

ProgressLines::~ProgressLines()
{
    if (owned_)
        std::fclose(file_);
    else
        std::fflush(file_);
}

void ProgressLines::write(const std::string& line)
{
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_);
}

} // namespace gloamer
