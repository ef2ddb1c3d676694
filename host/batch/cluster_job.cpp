// cluster_job.cpp -- what both emitted jobs share: the array's size and time, the task's command and environment,
// and the names a refusal quotes.
#include "host/batch/cluster_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace gloamer {

int taskCount(size_t items, int shards)
{
    size_t wanted = shards > 0 ? (size_t)shards : items;
    return (int)std::max<size_t>(1, std::min({wanted, std::max<size_t>(items, 1), (size_t)largestArray}));
}

int64_t timeLimitFor(const std::vector<double>& itemSeconds, int tasks, double speed)
{
    std::vector<double> share((size_t)std::max(tasks, 1), 0.0);
    for (size_t i = 0; i < itemSeconds.size(); ++i)
        share[i % share.size()] += itemSeconds[i];
    double longest = *std::max_element(share.begin(), share.end());
    double seconds = longest / std::max(speed, 1e-6) * 1.5 + 300;
    return (int64_t)std::ceil(seconds / 60) * 60;
}

std::vector<std::string> taskCommand(const ClusterJob& job, bool join, const std::vector<std::string>& stepArgs)
{
    // --output=DIR in one word: a folder's name is never read as an option of its own.
    std::vector<std::string> command = {job.program, "batch", "--output=" + job.folder};
    if (join)
        command.push_back("--join-only");
    command.insert(command.end(), stepArgs.begin(), stepArgs.end());
    command.insert(command.end(), job.batchArgs.begin(), job.batchArgs.end());
    const std::vector<std::string> gpu = join ? std::vector<std::string>() : gpuDrawingArgs(job);
    command.insert(command.end(), gpu.begin(), gpu.end());
    command.insert(command.end(), {"--", job.list});
    return command;
}

std::vector<std::string> gpuDrawingArgs(const ClusterJob& job)
{
    // A --gpu of the batch's own is passed on in one word, so that no device name is read as an option.
    const bool chosen = std::any_of(job.batchArgs.begin(), job.batchArgs.end(),
                                    [](const std::string& arg) { return arg.rfind("--gpu=", 0) == 0; });
    if ((job.gpus <= 0 && job.gres.empty()) || chosen)
        return {};
    // Each render's --gpu is auto unless the batch was given another (passed on with its other options): auto
    // prefers a hardware EGL device, and the only one a task can see is the GPU it was given. Said explicitly in
    // the job, so that its script shows what draws.
    return {"--gpu", "auto"};
}

std::vector<std::pair<std::string, std::string>> taskEnvironment(const ClusterJob& job, bool join)
{
    // Mesa's software renderer draws with as many threads as the task has CPUs.
    std::vector<std::pair<std::string, std::string>> environment = {
        {"LP_NUM_THREADS", std::to_string(job.cpusPerTask)}};
    // NVIDIA's container runtime hands a container only the driver parts these name: drawing through EGL needs
    // `graphics`, the video encoder `video`. Which GPU a task has is the runtime's to say (NVIDIA_VISIBLE_DEVICES).
    if (!join && (job.gpus > 0 || !job.gres.empty()))
        environment.emplace_back("NVIDIA_DRIVER_CAPABILITIES", "compute,utility,graphics,video");
    return environment;
}

size_t utf8Sequence(const std::string& text, size_t at, uint32_t& codePoint)
{
    const auto byte = [&](size_t i) { return i < text.size() ? (unsigned char)text[i] : 0u; };
    const unsigned lead = byte(at);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (byte(at + i) & 0x3F);
    }
    // Overlong forms, UTF-16's surrogates and what lies past U+10FFFF are not UTF-8.
    static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return 0;
    return length;
}

bool isUtf8(const std::string& text)
{
    uint32_t codePoint = 0;
    for (size_t at = 0, length = 0; at < text.size(); at += length)
        if ((length = utf8Sequence(text, at, codePoint)) == 0)
            return false;
    return true;
}

std::string printableName(const std::string& text)
{
    std::string out = "'";
    uint32_t codePoint = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8Sequence(text, at, codePoint);
        const bool control = length == 1 ? codePoint < 0x20 || codePoint == 0x7F : codePoint >= 0x80 && codePoint < 0xA0;
        char escaped[16];
        if (length == 0 || control) {
            // A byte that is not UTF-8, or a control character: its bytes as \xNN, so the line stays one line.
            for (size_t i = 0; i < std::max<size_t>(length, 1); ++i) {
                std::snprintf(escaped, sizeof escaped, "\\x%02x", (unsigned char)text[at + i]);
                out += escaped;
            }
        } else if (text[at] == '\\') {
            out += "\\\\";
        } else {
            out.append(text, at, length);
        }
        at += std::max<size_t>(length, 1);
    }
    return out + "'";
}

} // namespace gloamer
