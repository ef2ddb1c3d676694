// pending_file.cpp -- temporary names beside each output, and a signal-safe table of them for cleanup on a crash.
#include "host/process/pending_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
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
volatile bool leftToSupervisor = false;

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

const char renderingSuffix[] = ".rendering";

std::string temporaryStem(const std::string& prefix, long pid)
{
    return prefix + "-" + hostName() + "-" + std::to_string(pid ? pid : (long)getpid()) + "-";
}

std::string pendingStem(const std::string& target, long pid)
{
    return folderPart(target) + temporaryStem(".gloamer", pid);
}

void removeLitterOf(const std::string& folder, const std::string& prefix)
{
    namespace fs = std::filesystem;
    const std::string ours = prefix + "-" + hostName() + "-";
    std::error_code error;
    for (fs::directory_iterator entry(folder.empty() ? "." : folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.compare(0, ours.size(), ours) != 0)
            continue;
        // PID, then '-' and the run's own part, which holds no '-': so the name of a machine called ours plus
        // "-N..." (node and node-7), whose own PID and part follow, is never taken for one of ours.
        size_t digits = ours.size();
        while (digits < name.size() && std::isdigit((unsigned char)name[digits]))
            ++digits;
        if (digits == ours.size() || digits >= name.size() || name[digits] != '-' || digits - ours.size() > 9 ||
            name.find('-', digits + 1) != std::string::npos)
            continue;
        long pid = std::stol(name.substr(ours.size(), digits - ours.size()));
        if (pid == (long)getpid() || !processHasEnded(pid))
            continue;
        std::error_code ignored;
        fs::remove_all(entry->path(), ignored);
    }
}

PendingFile::PendingFile(const std::string& target, bool replace, const std::string& suffix)
    : target_(target), replace_(replace)
{
    static std::atomic<unsigned> counter{0};
    // Each folder is swept once a run: a picture sequence makes a pending file for every frame.
    // (A spin lock: gloamer.exe's C++ runtime has no std::mutex, and the sweep is rare and short.)
    static std::atomic_flag sweptLock = ATOMIC_FLAG_INIT;
    static std::set<std::string> swept;
    while (sweptLock.test_and_set(std::memory_order_acquire))
        ;
    bool sweep = swept.insert(folderPart(target)).second;
    sweptLock.clear(std::memory_order_release);
    if (sweep)
        removeLitterOf(folderPart(target), ".gloamer");
    // A short dot name in the output's own folder: hidden, and renamed without crossing file systems.
    const std::string stem = folderPart(target) + temporaryStem(".gloamer");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + std::to_string(counter++) + suffix;
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
    if (replace_ && isSpecialFile(target_)) {
        discard();
        throw HostError("cannot write '" + target_ + "': it is not a regular file (a FIFO, device or socket is never replaced)");
    }
    if (!(replace_ ? replaceFile(path_, target_) : renameWithoutReplacing(path_, target_))) {
        int error = errno;
        discard();
        if (error == EEXIST)
            throw HostError("'" + target_ + "' appeared while it was being written: kept as it is (add --overwrite to replace it)");
        throw HostError("cannot write '" + target_ + "': " + std::strerror(error));
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

void leavePendingFilesToSupervisor()
{
    leftToSupervisor = true;
}

void removePendingFiles()
{
    if (leftToSupervisor)
        return;
    for (int slot = 0; slot < slotCount; ++slot)
        if (slotUsed[slot].load())
            unlink(slotPaths[slot]);
    for (int slot = 0; slot < slotCount; ++slot)
        if (slotUsed[slot].load())
            rmdir(slotPaths[slot]);
}

} // namespace gloamer
