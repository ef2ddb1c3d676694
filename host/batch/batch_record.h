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
    std::string name;  // the output's name under the batch's folder
    std::string state; // "done" or "failed"
    InputIdentity input;
    std::string options; // the render options, as passed to each item's render
    std::string version; // gloamer's
    std::string reason;  // why a failed item failed
    std::string sha256;  // of the output, when done
    int64_t outputSize = -1;
    int64_t outputModifiedNs = -1;
};

// The folder under a batch's output where it keeps its own files; never taken as music.
constexpr char batchStateFolderName[] = ".gloamer-batch";
// Where the batch in `folder` keeps its own files: the records, the claims, and the videos being rendered.
std::string batchStateFolder(const std::string& folder);
// The name of the batch's own file for `name` under `under` with `suffix`: the name and suffix when they fit in
// a file name, else one made from the name's SHA-256, so that an output whose name is near the limit still
// gets its record and claim.
std::string stateFileFor(const std::string& under, const std::string& name, const std::string& suffix);
std::string recordPath(const std::string& folder, const std::string& name);

// Writes the record under a temporary name and renames it into place; throws HostError when it cannot.
void writeRecord(const std::string& path, const BatchRecord& record);
// The record at `path`; none when there is none or it cannot be read: not a regular file, not JSON, not
// UTF-8, a field of the wrong type or missing. Such an item is not done.
std::optional<BatchRecord> readRecord(const std::string& path);

// How far "done" is checked: the video's size and modification time, or its SHA-256 as well.
enum class DoneCheck { sizeAndTime, contents };

// True when `record` says the item is done and that still holds: the same input, options and version, and the
// video at `output` is the one written then (a regular file of its size and modification time and, with
// DoneCheck::contents, its SHA-256).
bool stillDone(const std::optional<BatchRecord>& record, const InputIdentity& input, const std::string& options,
               const std::string& version, const std::string& output, DoneCheck check = DoneCheck::sizeAndTime);
// True when `record` is of a whole video that still stands at `output` as it was written, whatever it was
// rendered from: the batch wrote that file, so it may replace it.
bool vouchesFor(const std::optional<BatchRecord>& record, const std::string& output);

// The SHA-256 of a file, in hex; throws HostError when it cannot be read.
std::string fileSha256(const std::string& path);
// The SHA-256 of `text`, in hex.
std::string textSha256(const std::string& text);
// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);

} // namespace gloamer
