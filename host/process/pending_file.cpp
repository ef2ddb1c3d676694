// pending_file.cpp -- temporary names beside each output, and a signal-safe table of them for cleanup on a crash.
#include "host/process/pending_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "host/process/host_error.h"
#include "host/process/system.h"

namespace gloamer {

namespace {

// Fixed storage, so that a signal handler can walk it without locks or allocation.
constexpr int slotCount = 16;
constexpr size_t slotBytes = 4096;
char slotPaths[slotCount][slotBytes];
std::atomic<bool> slotUsed[slotCount];

int claimSlot(const std::string& path)
{
    if (path.size() >= slotBytes)
        return -1;
    for (int slot = 0; slot < slotCount; ++slot) {
        bool expected = false;
        if (slotUsed[slot].load() || !slotUsed[slot].compare_exchange_strong(expected, true))
            continue;
        std::memcpy(slotPaths[slot], path.c_str(), path.size() + 1);
        return slot;
    }
    return -1;
}

void releaseSlot(int slot)
{
    if (slot >= 0)
        slotUsed[slot].store(false);
}

std::string folderPart(const std::string& path)
{
    for (size_t i = path.size(); i-- > 0;)
        if (isPathSeparator(path[i]))
            return path.substr(0, i + 1);
    return "";
}

} // namespace

PendingFile::PendingFile(const std::string& target) : target_(target)
{
    static std::atomic<unsigned> counter{0};
    // A short dot name in the output's own folder: hidden, and renamed without crossing file systems.
    const std::string stem = folderPart(target) + ".gloamer-" + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + "-" + std::to_string(counter++) + ".part";
        int slot = claimSlot(candidate);
        // O_EXCL: the name is new, so neither a file nor a link already there is ever written through.
        int descriptor = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (descriptor >= 0) {
            close(descriptor);
            path_ = candidate;
            slot_ = slot;
            return;
        }
        int error = errno;
        releaseSlot(slot);
        if (error != EEXIST)
            throw HostError("cannot write '" + target + "': " + std::strerror(error));
    }
    throw HostError("cannot write '" + target + "': no free temporary name beside it");
}

PendingFile::~PendingFile()
{
    discard();
}

void PendingFile::commit()
{
    if (path_.empty())
        return;
    if (!replaceFile(path_, target_)) {
        std::string reason = std::strerror(errno);
        discard();
        throw HostError("cannot write '" + target_ + "': " + reason);
    }
    path_.clear();
    releaseSlot(slot_);
    slot_ = -1;
}

void PendingFile::discard()
{
    if (path_.empty())
        return;
    std::remove(path_.c_str());
    path_.clear();
    releaseSlot(slot_);
    slot_ = -1;
}

TemporaryPath::TemporaryPath(std::string path) : path_(std::move(path)), slot_(claimSlot(path_)) {}

TemporaryPath::~TemporaryPath()
{
    if (unlink(path_.c_str()) != 0)
        rmdir(path_.c_str());
    releaseSlot(slot_);
}

void removePendingFiles()
{
    for (int slot = 0; slot < slotCount; ++slot)
        if (slotUsed[slot].load())
            unlink(slotPaths[slot]);
    for (int slot = 0; slot < slotCount; ++slot)
        if (slotUsed[slot].load())
            rmdir(slotPaths[slot]);
}

} // namespace gloamer
