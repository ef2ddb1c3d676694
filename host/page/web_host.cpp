// web_host.cpp -- starts the linked-in plug-in, pumps its window messages and feeds it the rows of each frame.
#include "host/page/web_host.h"

#include <algorithm>
#include <cmath>

#include "host/analysis/frame_span.h"
#include "host/core/frame_rows.h"
#include "host/core/heard_rows.h"
#include "host/core/message_loop.h"
#include "host/process/host_error.h"
#include "platform/hooks.h"

// The API's one export, which a player finds by name; the page has no loader, so the plug-in is linked in.
extern "C" VisHeader* __cdecl winampVisGetHeader(void);

namespace gloamer::web {

namespace {

uint32_t replayTick = 0;

DWORD replayClock(void*)
{
    return replayTick;
}

VisModule& linkedModule()
{
    VisHeader* header = winampVisGetHeader();
    VisModule* module = header && header->getModule ? header->getModule(0) : nullptr;
    if (!module || !module->init || !module->render || !module->quit)
        throw HostError("the plug-in has no usable module 0");
    return *module;
}

} // namespace

WebHost& pageHost()
{
    static WebHost instance;
    return instance;
}

int64_t WebHost::latencyFrames()
{
    if (!session_ || track_.sampleRate <= 0)
        return 0;
    return analysedFrameFor(0, session_->module().latencyMs, track_.sampleRate);
}

void WebHost::start()
{
    start(track_.sampleRate, track_.channelCount);
}

void WebHost::start(int sampleRate, int channelCount)
{
    session_.reset();
    host_.reset();
    host_ = std::make_unique<HostWindow>();
    try {
        session_.emplace(linkedModule(), nullptr, "vis_gloamer", *host_, sampleRate, channelCount);
    } catch (...) {
        host_.reset();
        throw;
    }
}

void WebHost::stop()
{
    session_.reset();
    host_.reset();
    gloamerSetTickSource(nullptr, nullptr);
}

PageAction WebHost::frame(double heardSeconds, bool paused)
{
    if (!session_)
        return PageAction::None;
    PageAction action = pumpMessages();
    if (action == PageAction::Stop || action == PageAction::WindowClosed)
        return action;
    VisModule& module = session_->module();
    if (paused || track_.sampleRate <= 0) {
        silenceRows(module);
    } else {
        int64_t heard = (int64_t)std::llround(std::max(0.0, heardSeconds) * track_.sampleRate);
        fillRowsHeardAt(analyser_, track_, heard, module);
        shaper_.shape(module.spectrumData);
    }
    session_->render();
    return action;
}

// The host's keys in the plug-in's window, through the same key map as the native player's.
PageAction WebHost::pumpMessages()
{
    PageAction action = PageAction::None;
    MessagesEnd end = pumpWindowMessages(host_->renderWindow(), [&](HostKey key) {
        switch (key) {
        case HostKey::Pause:
            action = PageAction::TogglePause;
            break;
        case HostKey::Fullscreen:
            action = PageAction::ToggleFullscreen;
            break;
        case HostKey::FrameRate:
            action = PageAction::ToggleFrameRate;
            break;
        case HostKey::Quit:
            action = PageAction::Stop;
            return true;
        default:
            break;
        }
        return false;
    });
    return end == MessagesEnd::WindowClosed ? PageAction::WindowClosed : action;
}

void WebHost::setShaping(SpectrumShaping shaping)
{
    shaper_ = SpectrumShaper(shaping);
}

void WebHost::loadFrameData(const std::string& path)
{
    replay_ = readFrameData(path);
    // The plug-in reads the clock from init on, as under the native host's replay.
    replayTick = replay_.frames.front().tick;
    gloamerSetTickSource(replayClock, nullptr);
    try {
        start((int)replay_.sampleRate, (int)replay_.channelCount);
    } catch (...) {
        gloamerSetTickSource(nullptr, nullptr);
        throw;
    }
}

void WebHost::replayFrame(int index)
{
    if (!session_ || index < 0 || index >= frameDataCount())
        throw HostError("no frame " + std::to_string(index) + " in the frame data");
    const FrameRecord& record = replay_.frames[(size_t)index];
    replayTick = record.tick;
    copyRows(session_->module(), record.spectrum, record.waveform);
    session_->render();
    pumpMessages();
}

} // namespace gloamer::web
