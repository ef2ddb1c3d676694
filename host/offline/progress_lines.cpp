// progress_lines.cpp -- JSON lines of a render's progress.
#include "host/offline/progress_lines.h"

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

// The renderer's fields go last in the line's object.
std::string withRendererFields(const std::string& line, const std::string& fields)
{
    if (fields.empty() || line.empty() || line.back() != '}')
        return line;
    return line.substr(0, line.size() - 1) + fields + "}";
}

} // namespace

std::string progressLine(long frame, long total, double elapsed, const char* state)
{
    char line[200];
    const std::string totalText = total < 0 ? "null" : std::to_string(total);
    std::snprintf(line, sizeof(line), "{\"frame\":%ld,\"total\":%s,\"fps\":%.2f,\"elapsed\":%.2f,\"state\":\"%s\"}",
                  frame, totalText.c_str(), elapsed > 0 ? frame / elapsed : 0.0, elapsed, state);
    return line;
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
    std::fprintf(file_, "%s\n", withRendererFields(line, rendererFields_).c_str());
    std::fflush(file_);
}

void ProgressLines::setRenderer(const std::string& renderer, bool software)
{
    rendererFields_ = ",\"renderer\":" + nlohmann::json(renderer).dump(-1, ' ', false,
                                                                        nlohmann::json::error_handler_t::replace) +
                      ",\"software\":" + (software ? "true" : "false");
}

} // namespace gloamer
