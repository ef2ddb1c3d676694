// batch_record.h -- what a batch knows of each item: a record written, whole, after the item's video.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace gloamer {

// What an input was when it was rendered; a URL has no size or time (-1).
struct InputIdentity {
    std::string input;
    int64_t size = -1;
    int64_t modifiedNs = -1;

    bool operator==(const InputIdentity& other) const
    {
        return input == other.input && size == other.size && modifiedNs == other.modifiedNs;
    }
};
InputIdentity identityOf(const std::string& input);

struct BatchRecord {
    std::string state; // "done" or "failed"
    InputIdentity input;
    std::string options; // the render options, as passed to each item's render
    std::string version; // gloamer's
    std::string reason;  // why a failed item failed
    std::string sha256;  // of the output, when done
    int64_t outputSize = -1;
    int64_t outputModifiedNs = -1;
};

// Where the batch in `folder` keeps its own files: the records, and the videos being rendered.
std::string batchStateFolder(const std::string& folder);
std::string recordPath(const std::string& folder, const std::string& name);

// Writes the record under a temporary name and renames it into place; throws HostError when it cannot.
void writeRecord(const std::string& path, const BatchRecord& record);
// The record at `path`; none when there is none or it cannot be read (then the item is not done).
std::optional<BatchRecord> readRecord(const std::string& path);

// True when `record` says the item is done and that still holds: the same input, options and version, and the
// video at `output` is the one written then (its size and modification time).
bool stillDone(const std::optional<BatchRecord>& record, const InputIdentity& input, const std::string& options,
               const std::string& version, const std::string& output);

// The SHA-256 of a file, in hex; throws HostError when it cannot be read.
std::string fileSha256(const std::string& path);
// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);

} // namespace gloamer
