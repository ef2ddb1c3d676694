// progress_lines.cpp -- JSON lines of a render's progress, and the file, pipe or device they go to.
#include "host/offline/progress_lines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"

#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace gloamer {

namespace {

double hundredths(double value)
{
    return std::round(value * 100) / 100;
}

} // namespace

std::string progressLine(long frame, long total, double elapsed, const char* state)
{
    // Keys in the order a reader of the raw line expects them; ordered_json keeps it.
    nlohmann::ordered_json line;
    line["frame"] = frame;
    line["total"] = total < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(total);
    line["fps"] = hundredths(elapsed > 0 ? frame / elapsed : 0.0);
    line["elapsed"] = hundredths(elapsed);
    line["state"] = state;
    return line.dump();
}

std::string streamProgressLine(const StreamProgress& progress)
{
    const double seconds = progress.elapsed > 0 ? progress.elapsed : 0.0;
    auto rate = [seconds](int64_t count) { return seconds > 0 ? hundredths(count / seconds) : 0.0; };
    nlohmann::ordered_json line = {{"frame", progress.frames},
                                   {"drawn", progress.drawn},
                                   {"fps", rate(progress.frames)},
                                   {"drawn_fps", rate(progress.drawn)},
                                   {"elapsed", hundredths(seconds)},
                                   {"bytes", progress.bytes},
                                   {"connected", progress.connected},
                                   {"title", progress.title},
                                   {"state", progress.state}};
    // A title that is not UTF-8 is still a line: its bad bytes become U+FFFD.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ProgressLines::ProgressLines(const std::string& path, bool overwrite) : path_(path)
{
    if (path == "-") {
        file_ = stdout;
        owned_ = false;
    } else if (isStreamFile(path)) {
        openStream();
    } else {
        openNewFile(overwrite);
    }
}

// A reader's FIFO or a device: opened as it is, waiting for the FIFO's reader, which a stop may cut short.
void ProgressLines::openStream()
{
    int descriptor = -1;
    while ((descriptor = open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC)) < 0 && errno == EINTR)
        if (interruptRequested())
            throw StopRequested();
    if (descriptor < 0)
        throw HostError("cannot write the progress to '" + path_ + "': " + std::strerror(errno));
    // What was checked may have been swapped meanwhile: a regular file opened this way would be written over.
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        close(descriptor);
        throw HostError("cannot write the progress to '" + path_ + "': it changed while gloamer started");
    }
    file_ = fdopen(descriptor, "w");
    if (!file_) {
        close(descriptor);
        throw HostError("cannot write the progress to '" + path_ + "': " + std::strerror(errno));
    }
}

// A file of its own, renamed into place before the first line, so that a reader can follow it as it grows;
// an existing file, or a link, is replaced rather than written through.
void ProgressLines::openNewFile(bool overwrite)
{
    PendingFile pending(path_, overwrite);
    file_ = std::fopen(pending.path().c_str(), "w");
    if (!file_)
        throw HostError("cannot write the progress to '" + path_ + "': " + std::strerror(errno));
    try {
        pending.commit();
    } catch (...) {
        std::fclose(file_);
        file_ = nullptr;
        throw;
    }
}

ProgressLines::~ProgressLines()
{
    if (owned_ && file_)
        std::fclose(file_);
    else if (file_)
        std::fflush(file_);
}

void ProgressLines::setRenderer(const std::string& renderer, bool software)
{
    renderer_ = renderer;
    software_ = software;
    rendererKnown_ = true;
}

// The renderer's fields go last in the line's object, once known; a renderer name that is not UTF-8 is still
// valid JSON, its bad bytes made U+FFFD.
static std::string withRenderer(const std::string& line, bool known, const std::string& renderer, bool software)
{
    if (!known)
        return line;
    nlohmann::ordered_json object = nlohmann::ordered_json::parse(line, nullptr, false);
    if (!object.is_object())
        return line;
    object["renderer"] = renderer;
    object["software"] = software;
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void ProgressLines::write(const std::string& rawLine)
{
    if (error_ || !file_)
        return;
    const std::string line = withRenderer(rawLine, rendererKnown_, renderer_, software_);
    errno = 0;
    if (std::fputs(line.c_str(), file_) < 0 || std::fputc('\n', file_) == EOF || std::fflush(file_) != 0)
        error_ = errno ? errno : EIO;
}

std::string ProgressLines::failure() const
{
    if (!error_)
        return "";
    const std::string where = path_ == "-" ? "standard output" : "'" + path_ + "'";
    const std::string why = error_ == EPIPE ? "its reader closed it" : std::strerror(error_);
    return "the progress lines to " + where + " were lost: " + why;
}

} // namespace gloamer
