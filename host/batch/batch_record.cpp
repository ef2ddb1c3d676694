// batch_record.cpp -- the records of a batch: flat JSON objects, written atomically, read back leniently.
#include "host/batch/batch_record.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include "host/media/media_input.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"

namespace gloamer {

namespace {

bool statOf(const std::string& path, int64_t& size, int64_t& modifiedNs)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = (int64_t)info.st_size;
    modifiedNs = (int64_t)info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

// Reads the flat objects writeRecord writes: string and integer values only.
std::map<std::string, std::string> parseFlatJson(const std::string& text)
{
    std::map<std::string, std::string> values;
    size_t at = 0;
    auto skipSpace = [&] {
        while (at < text.size() && std::strchr(" \t\r\n", text[at]))
            ++at;
    };
    auto readString = [&](std::string& out) {
        if (at >= text.size() || text[at] != '"')
            return false;
        for (++at; at < text.size() && text[at] != '"'; ++at) {
            char c = text[at];
            if (c == '\\' && ++at < text.size()) {
                c = text[at];
                if (c == 'n')
                    c = '\n';
                else if (c == 't')
                    c = '\t';
                else if (c == 'u' && at + 4 < text.size()) {
                    c = (char)std::stoi(text.substr(at + 1, 4), nullptr, 16);
                    at += 4;
                }
            }
            out += c;
        }
        return at++ < text.size();
    };
    skipSpace();
    if (at >= text.size() || text[at++] != '{')
        return {};
    while (true) {
        skipSpace();
        std::string key, value;
        if (!readString(key))
            return {};
        skipSpace();
        if (at >= text.size() || text[at++] != ':')
            return {};
        skipSpace();
        if (at < text.size() && text[at] == '"') {
            if (!readString(value))
                return {};
        } else {
            while (at < text.size() && (std::isdigit((unsigned char)text[at]) || text[at] == '-'))
                value += text[at++];
        }
        values[key] = value;
        skipSpace();
        if (at < text.size() && text[at] == ',') {
            ++at;
            continue;
        }
        return at < text.size() && text[at] == '}' ? values : std::map<std::string, std::string>{};
    }
}

int64_t number(const std::map<std::string, std::string>& values, const char* key)
{
    auto found = values.find(key);
    try {
        return found == values.end() ? -1 : std::stoll(found->second);
    } catch (const std::exception&) {
        return -1;
    }
}

} // namespace

InputIdentity identityOf(const std::string& input)
{
    InputIdentity identity{input};
    if (!isStreamName(input) && !statOf(input, identity.size, identity.modifiedNs))
        identity.size = identity.modifiedNs = -1;
    return identity;
}

std::string batchStateFolder(const std::string& folder)
{
    return folder + "/.gloamer-batch";
}

std::string recordPath(const std::string& folder, const std::string& name)
{
    return batchStateFolder(folder) + "/records/" + name + ".json";
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
    std::ostringstream text;
    text << "{\n  \"state\": " << jsonString(record.state) << ",\n  \"input\": " << jsonString(record.input.input)
         << ",\n  \"input_size\": " << record.input.size << ",\n  \"input_modified_ns\": " << record.input.modifiedNs
         << ",\n  \"options\": " << jsonString(record.options) << ",\n  \"version\": " << jsonString(record.version)
         << ",\n  \"reason\": " << jsonString(record.reason) << ",\n  \"sha256\": " << jsonString(record.sha256)
         << ",\n  \"output_size\": " << record.outputSize << ",\n  \"output_modified_ns\": "
         << record.outputModifiedNs << "\n}\n";
    const std::string body = text.str();
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), made);
    if (made)
        throw HostError("cannot make the folder of the record '" + path + "': " + made.message());
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
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    auto values = parseFlatJson(text.str());
    if (values.empty())
        return std::nullopt;
    BatchRecord record;
    record.state = values["state"];
    record.input = {values["input"], number(values, "input_size"), number(values, "input_modified_ns")};
    record.options = values["options"];
    record.version = values["version"];
    record.reason = values["reason"];
    record.sha256 = values["sha256"];
    record.outputSize = number(values, "output_size");
    record.outputModifiedNs = number(values, "output_modified_ns");
    return record;
}

bool stillDone(const std::optional<BatchRecord>& record, const InputIdentity& input, const std::string& options,
               const std::string& version, const std::string& output)
{
    int64_t size = -1, modifiedNs = -1;
    return record && record->state == "done" && record->input == input && record->options == options &&
           record->version == version && statOf(output, size, modifiedNs) && size == record->outputSize &&
           modifiedNs == record->outputModifiedNs;
}

std::string fileSha256(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw HostError("cannot read '" + path + "' for its checksum: " + std::strerror(errno));
    AVSHA* sha = av_sha_alloc();
    if (!sha || av_sha_init(sha, 256) < 0) {
        std::fclose(file);
        av_free(sha);
        throw HostError("out of memory");
    }
    unsigned char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        av_sha_update(sha, buffer, (unsigned)got);
    bool failed = std::ferror(file);
    std::fclose(file);
    unsigned char digest[32];
    av_sha_final(sha, digest);
    av_free(sha);
    if (failed)
        throw HostError("cannot read '" + path + "' for its checksum");
    std::string hex;
    for (unsigned char byte : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    return hex;
}

} // namespace gloamer
