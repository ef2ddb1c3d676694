// batch_claim.cpp -- claims on units: created without replacing, read strictly, taken over only from the dead.
#include "host/batch/batch_claim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include <nlohmann/json.hpp>

#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"

namespace gloamer {

namespace {

using Json = nlohmann::json;

int64_t secondsNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A claim is a line of JSON; none when the file is not a small regular one.
std::optional<std::string> readClaim(const std::string& path)
{
    int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    struct stat info;
    std::optional<std::string> text;
    char buffer[4096];
    if (fstat(file, &info) == 0 && S_ISREG(info.st_mode)) {
        text.emplace();
        ssize_t got;
        while (text->size() < 65536 && (got = read(file, buffer, sizeof buffer)) > 0)
            text->append(buffer, (size_t)got);
    }
    close(file);
    return text;
}

struct Holder {
    std::string host;
    long pid = 0;
    int64_t claimedAt = 0;
};

std::optional<Holder> holderOf(const std::string& text)
{
    const Json value = Json::parse(text, nullptr, false);
    try {
        if (!value.is_discarded() && value.is_object())
            return Holder{value.at("host").get<std::string>(), value.at("pid").get<long>(),
                          value.at("claimed_at").get<int64_t>()};
    } catch (const Json::exception&) {
    }
    return std::nullopt;
}

} // namespace

std::string claimText(const std::string& host, long pid, int64_t claimedAt, const std::string& token)
{
    return Json{{"host", host}, {"pid", pid}, {"claimed_at", claimedAt}, {"token", token}}.dump() + "\n";
}

UnitClaim::UnitClaim(std::string path, double expirySeconds) : path_(std::move(path)), expirySeconds_(expirySeconds)
{
    static unsigned counter = 0;
    token_ = hostName() + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
    if (error) {
        holder_ = "cannot make the folder of the claim '" + path_ + "': " + error.message();
        return;
    }
    // Twice at most: a stale claim taken away leaves room for this one, unless another task was quicker.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (create() || !holder_.empty())
            return;
        const std::optional<std::string> seen = readClaim(path_);
        if (!seen)
            continue; // released meanwhile
        if (!takeOverStale(*seen))
            return;
    }
    holder_ = "another task took it meanwhile";
}

UnitClaim::~UnitClaim()
{
    if (!held_)
        return;
    const std::optional<std::string> now = readClaim(path_);
    if (now && now->find("\"" + token_ + "\"") != std::string::npos)
        unlink(path_.c_str());
}

// Writes this claim beside its place and moves it there only while nothing stands there.
bool UnitClaim::create()
{
    if (isSpecialFile(path_)) {
        holder_ = "'" + path_ + "' is not a regular file: the batch leaves it and cannot claim the item";
        return false;
    }
    PendingFile pending(path_, false);
    const std::string text = claimText(hostName(), (long)getpid(), secondsNow(), token_);
    FILE* file = std::fopen(pending.path().c_str(), "wb");
    bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file && std::fclose(file) != 0)
        written = false;
    if (!written) {
        holder_ = "cannot write the claim '" + path_ + "': " + std::strerror(errno ? errno : EIO);
        return false;
    }
    if (renameWithoutReplacing(pending.path(), path_)) {
        held_ = true;
        return true;
    }
    if (errno != EEXIST)
        holder_ = "cannot claim '" + path_ + "': " + std::strerror(errno);
    return false;
}

// Removes the claim `seen` when its holder is gone; false (with holder_ said) while it holds.
bool UnitClaim::takeOverStale(const std::string& seen)
{
    const std::optional<Holder> holder = holderOf(seen);
    if (holder) {
        const int64_t age = secondsNow() - holder->claimedAt;
        const bool ended = holder->host == hostName() && processHasEnded(holder->pid);
        if (!ended && age < expirySeconds_) {
            holder_ = "claimed by another task: host " + holder->host + ", process " + std::to_string(holder->pid) +
                      ", " + std::to_string(std::max<int64_t>(0, age)) + " s ago";
            return false;
        }
    }
    // Moved aside first, so that a claim made meanwhile by a live task is put back, not removed.
    const std::string aside = std::filesystem::path(path_).parent_path().string() + "/" + temporaryStem(".gloamer") + "taken";
    if (rename(path_.c_str(), aside.c_str()) != 0)
        return true; // gone meanwhile: try again
    const std::optional<std::string> moved = readClaim(aside);
    if (moved && *moved == seen) {
        unlink(aside.c_str());
        return true;
    }
    if (!renameWithoutReplacing(aside, path_))
        unlink(aside.c_str()); // another claim stands there already
    holder_ = "another task took it meanwhile";
    return false;
}

} // namespace gloamer
