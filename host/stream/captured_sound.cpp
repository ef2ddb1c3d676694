// captured_sound.cpp -- a live input copied into the stream's sound as it comes in.
#include "host/stream/captured_sound.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

constexpr auto silentInputLimit = std::chrono::seconds(10);

} // namespace

CapturedSound::CapturedSound(const std::string& device, std::optional<double> seconds)
    : audio_(AudioUse::Capture)
{
    if (device.empty()) {
        deviceName_ = monitorOfDefaultOutput(listAudioInputs(), defaultOutputName());
        monitorChosen_ = !deviceName_.empty();
    } else {
        deviceName_ = chooseAudioInput(listAudioInputs(), device);
    }
    capture_.emplace(deviceName_, sampleRate);
    if (seconds)
        endFrame_ = (int64_t)(*seconds * sampleRate);
    capture_->setPaused(false);
}

void CapturedSound::need(int64_t upTo)
{
    upTo = std::min(upTo, endFrame_);
    auto lastProgress = std::chrono::steady_clock::now();
    int64_t captured = capture_->framesCaptured();
    while (window_.end() < upTo) {
        if (captured > window_.end()) {
            const int64_t count = std::min(captured, upTo) - window_.end();
            block_.resize((size_t)(count * channelCount));
            capture_->copyFrames(window_.end(), count, block_.data());
            window_.append(block_.data(), count);
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (interruptRequested())
            throw StopRequested();
        if (std::chrono::steady_clock::now() - lastProgress > silentInputLimit)
            throw HostError("the audio input '" + deviceName_ + "' has given nothing for ten seconds");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        captured = capture_->framesCaptured();
    }
    if (window_.end() >= endFrame_)
        window_.finishAt(endFrame_);
}

std::vector<TrackStart> CapturedSound::takeTrackStarts()
{
    if (announced_)
        return {};
    announced_ = true;
    return {TrackStart{0, "Live: " + (deviceName_.empty() ? std::string("the default input") : deviceName_), 1, 1}};
}

} // namespace gloamer
