// web_host.cpp -- starts the linked-in plug-in, pumps its window messages and feeds it the rows of each frame.
#include "host/web/web_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/analysis/frame_span.h"
#include "host/host_error.h"
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
    return (int64_t)clampLatencyMs(session_->module().latencyMs) * track_.sampleRate / 1000;
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
        std::memset(module.spectrumData, 0, sizeof(module.spectrumData));
        std::memset(module.waveformData, 0, sizeof(module.waveformData));
    } else {
        // What is heard now, and the plug-in's latency ahead of it (read every frame, under the native host's one latency rule).
        int64_t heard = (int64_t)std::llround(std::max(0.0, heardSeconds) * track_.sampleRate);
        analyser_.analyse(track_, heard + latencyFrames(), module.spectrumChannelCount, module.waveformChannelCount,
                          module.spectrumData, module.waveformData);
    }
    session_->render();
    return action;
}

// The host looks at keys in the plug-in's window before the plug-in does, as the native host's frame loop does.
PageAction WebHost::pumpMessages()
{
    PageAction action = PageAction::None;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return PageAction::WindowClosed;
        if (message.message == WM_KEYDOWN && message.hwnd && message.hwnd == host_->renderWindow()) {
            if (message.wParam == VK_SPACE)
                action = PageAction::TogglePause;
            else if (message.wParam == 'F')
                action = PageAction::ToggleFullscreen;
            else if (message.wParam == VK_ESCAPE || message.wParam == 'Q')
                return PageAction::Stop;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return action;
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
    VisModule& module = session_->module();
    std::memcpy(module.spectrumData, record.spectrum, sizeof(module.spectrumData));
    std::memcpy(module.waveformData, record.waveform, sizeof(module.waveformData));
    session_->render();
    pumpMessages();
}

} // namespace gloamer::web
