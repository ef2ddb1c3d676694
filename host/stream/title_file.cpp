// title_file.cpp -- the title line written under a temporary name and renamed over the last.
#include "host/stream/title_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/process/host_error.h"
#include "host/process/pending_file.h"

namespace gloamer {

void writeTitleFile(const std::string& path, const std::string& title)
{
    std::string line = title;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    line += '\n';
    PendingFile pending(path, true);
    FILE* file = std::fopen(pending.path().c_str(), "wb");
    if (!file)
        throw HostError("cannot write the title to '" + path + "': " + std::strerror(errno));
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    if (std::fclose(file) != 0 || !written)
        throw HostError("cannot write the title to '" + path + "': " + std::strerror(errno));
    pending.commit();
}

} // namespace gloamer
