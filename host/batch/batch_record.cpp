// batch_record.cpp -- the records of a batch: JSON objects, written atomically, read back strictly.
#include "host/batch/batch_record.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include "host/media/media_input.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"

namespace gloamer {

namespace {

using Json = nlohmann::json;

// A record is a few hundred bytes; anything much larger is not one.
constexpr size_t largestRecord = 1 << 20;

bool statOf(const std::string& path, int64_t& size, int64_t& modifiedNs)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = (int64_t)info.st_size;
    modifiedNs = (int64_t)info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

bool isUtf8(const std::string& text)
{
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::exception&) {
        return false;
    }
}

std::string hexOf(const unsigned char* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i)
        hex += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return hex;
}

// A path keeps its bytes: a JSON string when it is UTF-8, else {"hex": "..."}.
Json pathJson(const std::string& path)
{
    if (isUtf8(path))
        return path;
    return Json{{"hex", hexOf((const unsigned char*)path.data(), path.size())}};
}

std::string pathFrom(const Json& value)
{
    if (value.is_string())
        return value.get<std::string>();
    const std::string hex = value.at("hex").get<std::string>();
    if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
        throw HostError("not a path");
    std::string path;
    for (size_t i = 0; i < hex.size(); i += 2)
        path += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
    return path;
}

// The whole of a regular file no larger than `limit`; none for anything else (a FIFO is never waited on).
std::optional<std::string> smallRegularFile(const std::string& path, size_t limit)
{
    int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    struct stat info;
    std::optional<std::string> text;
    if (fstat(file, &info) == 0 && S_ISREG(info.st_mode) && (size_t)info.st_size <= limit) {
        text.emplace();
        char buffer[8192];
        ssize_t got;
        while ((got = read(file, buffer, sizeof buffer)) > 0 && text->size() <= limit)
            text->append(buffer, (size_t)got);
        if (got < 0 || text->size() > limit)
            text.reset();
    }
    close(file);
    return text;
}

Json recordJson(const BatchRecord& record)
{
    return Json{{"name", pathJson(record.name)},
                {"state", record.state},
                {"input", pathJson(record.input.input)},
                {"input_size", record.input.size},
                {"input_modified_ns", record.input.modifiedNs},
                {"options", pathJson(record.options)},
                {"version", record.version},
                {"reason", pathJson(record.reason)},
                {"sha256", record.sha256},
                {"output_size", record.outputSize},
                {"output_modified_ns", record.outputModifiedNs}};
}

} // namespace

InputIdentity identityOf(const std::string& input)
{
    InputIdentity identity{input};
    struct stat info;
    if (!isStreamName(input) && stat(input.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        identity.size = (int64_t)info.st_size;
        identity.modifiedNs = (int64_t)info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec;
    }
    return identity;
}

std::string batchStateFolder(const std::string& folder)
{
    return folder + "/" + batchStateFolderName;
}

std::string stateFileFor(const std::string& under, const std::string& name, const std::string& suffix)
{
    const size_t slash = name.find_last_of('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.size() + suffix.size() <= NAME_MAX)
        return under + "/" + name + suffix;
    const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    return under + "/" + folder + "long-" + textSha256(base) + suffix;
}

std::string recordPath(const std::string& folder, const std::string& name)
{
    return stateFileFor(batchStateFolder(folder) + "/records", name, ".json");
}

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += {'\\', (char)c};
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else
            out += (char)c;
    }
    return out + "\"";
}

void writeRecord(const std::string& path, const BatchRecord& record)
{
    const std::string body = recordJson(record).dump(2) + "\n";
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
    if (made)
        throw HostError("cannot make the folder of the record '" + path + "': " + made.message());
    if (isSpecialFile(path))
        throw HostError("'" + path + "' is not a regular file: the batch leaves it and cannot record there");
    errno = 0;
    PendingFile pending(path, true); // a record replaces the one before it
    FILE* file = std::fopen(pending.path().c_str(), "wb");
    bool written = file && std::fwrite(body.data(), 1, body.size(), file) == body.size() && std::fflush(file) == 0 &&
                   fsync(fileno(file)) == 0;
    if (file && std::fclose(file) != 0)
        written = false;
    if (!written)
        throw HostError("cannot write the record '" + path + "': " + std::strerror(errno ? errno : EIO));
    pending.commit();
}

std::optional<BatchRecord> readRecord(const std::string& path)
{
    const std::optional<std::string> text = smallRegularFile(path, largestRecord);
    if (!text)
        return std::nullopt;
    const Json value = Json::parse(*text, nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    try {
        BatchRecord record;
        if (value.contains("name")) // records of older batches have none
            record.name = pathFrom(value.at("name"));
        record.state = value.at("state").get<std::string>();
        record.input = {pathFrom(value.at("input")), value.at("input_size").get<int64_t>(),
                        value.at("input_modified_ns").get<int64_t>()};
        record.options = pathFrom(value.at("options"));
        record.version = value.at("version").get<std::string>();
        record.reason = pathFrom(value.at("reason"));
        record.sha256 = value.at("sha256").get<std::string>();
        record.outputSize = value.at("output_size").get<int64_t>();
        record.outputModifiedNs = value.at("output_modified_ns").get<int64_t>();
        return record;
    } catch (const std::exception&) {
        return std::nullopt; // a field missing or of another type: not a record this batch can trust
    }
}

bool vouchesFor(const std::optional<BatchRecord>& record, const std::string& output)
{
    int64_t size = -1, modifiedNs = -1;
    return record && record->state == "done" && statOf(output, size, modifiedNs) && size == record->outputSize &&
           modifiedNs == record->outputModifiedNs;
}

bool stillDone(const std::optional<BatchRecord>& record, const InputIdentity& input, const std::string& options,
               const std::string& version, const std::string& output, DoneCheck check)
{
    if (!vouchesFor(record, output) || !(record->input == input) || record->options != options ||
        record->version != version)
        return false;
    if (check == DoneCheck::sizeAndTime)
        return true;
    try {
        return fileSha256(output) == record->sha256;
    } catch (const HostError&) {
        return false;
    }
}

namespace {

// Feeds `read` into a SHA-256 until it returns 0; throws HostError on a negative count.
template <typename Read>
std::string sha256Of(Read read)
{
    AVSHA* sha = av_sha_alloc();
    if (!sha || av_sha_init(sha, 256) < 0) {
        av_free(sha);
        throw HostError("out of memory");
    }
    unsigned char buffer[1 << 16];
    long got;
    while ((got = read(buffer, sizeof buffer)) > 0)
        av_sha_update(sha, buffer, (unsigned)got);
    unsigned char digest[32];
    av_sha_final(sha, digest);
    av_free(sha);
    if (got < 0)
        throw HostError("read failed");
    return hexOf(digest, sizeof digest);
}

} // namespace

std::string fileSha256(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw HostError("cannot read '" + path + "' for its checksum: " + std::strerror(errno));
    try {
        std::string hex = sha256Of([file](unsigned char* into, size_t size) -> long {
            size_t got = std::fread(into, 1, size, file);
            return got == 0 && std::ferror(file) ? -1 : (long)got;
        });
        std::fclose(file);
        return hex;
    } catch (const HostError&) {
        std::fclose(file);
        throw HostError("cannot read '" + path + "' for its checksum");
    }
}

std::string textSha256(const std::string& text)
{
    size_t at = 0;
    return sha256Of([&](unsigned char* into, size_t size) -> long {
        const size_t count = std::min(size, text.size() - at);
        std::memcpy(into, text.data() + at, count);
        at += count;
        return (long)count;
    });
}

} // namespace gloamer
