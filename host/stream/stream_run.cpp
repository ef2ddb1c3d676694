// stream_run.cpp -- the drawing thread of a stream: the wall clock, each frame drawn or repeated, the titles.
#include "host/stream/stream_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "host/analysis/frame_span.h"
#include "host/analysis/spectrum_analyser.h"
#include "host/core/heard_rows.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "host/offline/frame_grabber.h"
#include "host/offline/frame_hooks.h"
#include "host/offline/offline_renderer.h"
#include "host/offline/progress_lines.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"
#include "host/stream/stream_pacer.h"
#include "host/stream/stream_sender.h"
#include "host/stream/title_file.h"

namespace gloamer {

namespace {

using Clock = std::chrono::steady_clock;

DWORD streamTick = 0; // the plug-in's clock: the stream's own time, frame by frame

DWORD readStreamClock(void*)
{
    return streamTick;
}

// The frames the plug-in presents, read back and handed on in order; a skipped frame repeats the last.
struct Pictures {
    HWND window = nullptr;
    int width = 0, height = 0;
    FrameGrabber grabber;
    FrameSink* sink = nullptr;
    std::vector<uint8_t> last;
    int64_t presented = 0;
    std::exception_ptr failure; // a write that failed inside the plug-in's swap, rethrown after it
    FrameGrabber::Delivery deliver;

    void repeatLast()
    {
        grabber.drain(deliver); // what is in flight goes first, so that the order stays
        if (last.empty())
            last.assign((size_t)width * height * 3, 0);
        std::vector<uint8_t> again = last;
        deliver(again.data(), width, height);
    }
    void rethrowFailure() const
    {
        if (failure)
            std::rethrow_exception(failure);
    }
};

void onPresent(HWND window, int width, int height, void* user)
{
    Pictures& pictures = *static_cast<Pictures*>(user);
    if (window != pictures.window || width != pictures.width || height != pictures.height)
        return;
    ++pictures.presented;
    pictures.grabber.capture(width, height, pictures.deliver);
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What is said while the stream runs: the tracks, the rate sent, the progress lines and the title file.
class StreamStatus {
public:
    StreamStatus(const StreamRunOptions& options, FILE* messages)
        : options_(options), messages_(messages)
    {
        if (!options.progress.empty())
            lines_.emplace(options.progress, true);
    }

    void trackHeard(const TrackStart& start, StreamSender& sender)
    {
        title_ = start.title;
        const std::string number =
            start.count > 1 ? std::to_string(start.number) + "/" + std::to_string(start.count) + " " : "";
        std::fprintf(messages_, "Playing %s%s.\n", number.c_str(), title_.c_str());
        std::fflush(messages_);
        sender.setTitle(title_);
        if (options_.titleFile.empty())
            return;
        try {
            writeTitleFile(options_.titleFile, title_);
        } catch (const HostError& error) {
            if (!titleWritten_)
                throw; // a title file that cannot be written at all is a mistake to hear of at once
            std::fprintf(stderr, "gloamer: warning: %s\n", error.what()); // later, the stream matters more
        }
        titleWritten_ = true;
    }

    // Twice a second a progress line; every half minute, unless quiet, the rate sent.
    void update(const SentCount& sent, double elapsed, const StreamSender& sender, bool force, const char* state)
    {
        if (!force && elapsed < nextLine_)
            return;
        nextLine_ = elapsed + 0.5;
        if (lines_)
            lines_->write(streamProgressLine(
                StreamProgress{sent.frames, sent.drawn, elapsed, sender.bytesSent(), sender.connected(), title_, state}));
        if (!options_.quiet && elapsed >= nextSay_) {
            nextSay_ = elapsed + 30;
            if (elapsed > 1)
                sayRate(sent, elapsed, "Sending");
        }
    }

    void sayRate(const SentCount& sent, double elapsed, const char* verb)
    {
        std::fprintf(messages_, "%s %.1f frames a second (%.1f of them drawn anew, the rest repeated), %lld frames in "
                                "%.1f s.\n",
                     verb, sent.frames / std::max(elapsed, 1e-3), sent.drawn / std::max(elapsed, 1e-3),
                     (long long)sent.frames, elapsed);
        std::fflush(messages_);
    }

private:
    const StreamRunOptions& options_;
    FILE* messages_;
    std::optional<ProgressLines> lines_;
    std::string title_;
    bool titleWritten_ = false;
    double nextLine_ = 0, nextSay_ = 30;
};

} // namespace

namespace {

// The plug-in loaded, its clock and presents caught, its window at the stream's size.
struct PluginStage {
    PluginLibrary library;
    FrameHooks hooks;
    HostWindow host;
    PluginSession session;

    PluginStage(const std::string& path, int width, int height)
        : library(path), hooks(library.handle(), readStreamClock, nullptr),
          session(library, host, StreamSound::sampleRate, StreamSound::channelCount)
    {
        HWND window = host.renderWindow();
        if (!window)
            throw HostError("the plug-in '" + path + "' started without announcing a window to draw in");
        resizeClientArea(window, width, height);
        RECT client;
        GetClientRect(window, &client);
        if (client.right != width || client.bottom != height)
            throw HostError("the plug-in's window could not take the size " + std::to_string(width) + "x" +
                            std::to_string(height));
    }
};

void waitForFirstConnection(const StreamSender& sender)
{
    while (!sender.connected()) {
        if (std::string failure = sender.failure(); !failure.empty())
            throw HostError(failure);
        if (interruptRequested())
            throw StopRequested();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Waits until `when`, in short steps so that Ctrl-C is seen at once; false when it came.
bool waitUntil(Clock::time_point when)
{
    while (!interruptRequested()) {
        const Clock::time_point now = Clock::now();
        if (now >= when)
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(when - now, std::chrono::milliseconds(10)));
    }
    return false;
}

// Everything the frame loop works with.
struct StreamLoop {
    const StreamRunOptions& options;
    StreamSound& sound;
    StreamSender& sender;
    StreamStatus& status;
    PluginStage& stage;
    Pictures& pictures;
    std::deque<TrackStart> starts;
    SpectrumAnalyser analyser{};
    SpectrumShaper shaper{options.shaping};
    SentCount sent{};
    FrameSpan span{};
    Clock::time_point started{};

    // Draws frames on the wall clock until the sound ends, a stop, or the sender gives up; true after a stop.
    bool run();
    // Has the sound the frame's rows and its own sound need; false once the sound has ended before it.
    bool soundReaches(int64_t frame);
    void announceHeard(int64_t heard);
    // Draws the frame; false when the plug-in asks to stop or its window closed.
    bool draw(int64_t frame);
};

bool StreamLoop::soundReaches(int64_t frame)
{
    const int64_t heard = span.heardFrameOf(frame);
    const int latency = clampLatencyMs(stage.session.module().latencyMs);
    sound.need(std::max(span.heardFrameOf(frame + 1),
                        analysedFrameFor(heard, latency, span.sampleRate) + spectrumBlockFrames));
    return !sound.endsBy(heard);
}

void StreamLoop::announceHeard(int64_t heard)
{
    for (TrackStart& start : sound.takeTrackStarts())
        starts.push_back(std::move(start));
    while (!starts.empty() && starts.front().frame <= heard) {
        status.trackHeard(starts.front(), sender);
        starts.pop_front();
    }
}

bool StreamLoop::draw(int64_t frame)
{
    VisModule& module = stage.session.module();
    streamTick = span.tickOf(frame);
    fillRowsHeardAt(analyser, sound.held(), span.heardFrameOf(frame), module);
    shaper.shape(module.spectrumData);
    const int64_t presentedBefore = pictures.presented;
    const int verdict = stage.session.render();
    pictures.rethrowFailure();
    if (pictures.presented == presentedBefore)
        pictures.repeatLast(); // a plug-in that skipped its swap still owes the stream a frame
    if (verdict != 0)
        std::fprintf(stderr, "gloamer: the plug-in stopped drawing (its render returned %d): ending the stream\n",
                     verdict);
    return verdict == 0 && pumpWindowMessages();
}

bool StreamLoop::run()
{
    const StreamPacer pacer(span.fps);
    const Clock::time_point start = started = Clock::now();
    for (int64_t frame = 0;; ++frame) {
        if (interruptRequested())
            return true;
        if (!sender.failure().empty() || !soundReaches(frame))
            return false;
        announceHeard(span.heardFrameOf(frame));
        FrameChoice choice = pacer.choose(frame, secondsSince(start));
        if (choice == FrameChoice::Wait) {
            if (!waitUntil(start + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(pacer.dueAt(frame)))))
                return true;
            choice = FrameChoice::Draw;
        }
        bool goOn = true;
        if (choice == FrameChoice::Draw)
            goOn = draw(frame);
        else
            pictures.repeatLast();
        pictures.rethrowFailure();
        sent.add(choice == FrameChoice::Draw);
        // The encoder is at most its queue and the read-back ring behind; a second more is kept for safety.
        sound.release(span.heardFrameOf(std::max<int64_t>(0, frame - 16)) - span.sampleRate);
        status.update(sent, secondsSince(start), sender, false, "running");
        if (!goOn)
            return false;
    }
}

} // namespace

namespace {

std::string formatText(const StreamFormat& format)
{
    return std::to_string(format.width) + "x" + std::to_string(format.height) + " at " + std::to_string(format.fps) +
           " frames a second, H.264 up to " + std::to_string(format.videoKbps) + " kbit/s with AAC at " +
           std::to_string(format.audioKbps) + " kbit/s";
}

// Draws until the end, then ends the pictures, the plug-in and the stream in that order. The present hook is
// taken away on every path, before what it points at goes.
bool drawAndEnd(StreamLoop& loop, FrameSink& sink)
{
    Pictures& pictures = loop.pictures;
    auto unhook = [&] {
        pictures.grabber.drain(pictures.deliver);
        pictures.grabber.release();
        loop.stage.hooks.setPresentHook(nullptr, nullptr);
    };
    bool stopped = false;
    try {
        loop.stage.hooks.setPresentHook(onPresent, &pictures);
        stopped = loop.run();
    } catch (const StopRequested&) {
        stopped = true; // Ctrl-C while an input was read
    } catch (...) {
        unhook();
        throw;
    }
    unhook();
    pictures.rethrowFailure();
    loop.stage.session.quit();
    sink.finish();
    return stopped;
}

} // namespace

int runStream(const StreamRunOptions& options, StreamSound& sound)
{
    FILE* messages = options.target.kind == StreamKind::StandardOutput ? stderr : stdout;
    if (options.target.kind == StreamKind::Hls)
        prepareHlsFolder(options.target);
    setenv("SDL_VIDEODRIVER", "offscreen", 1); // drawn where nobody looks: the stream is the picture
    StreamFormat format = options.format;
    format.globalHeaders = options.target.kind == StreamKind::Rtmp;
    std::fprintf(messages, "Streaming %s to %s.\n", formatText(format).c_str(), options.target.shownName.c_str());
    std::fflush(messages);
    StreamSender* sending = nullptr; // set once the sender stands; the encoder's first packets come after
    auto encoder = std::make_unique<StreamEncoder>(
        format, [&sound](int64_t first, int64_t count, int16_t* into) { return sound.copy(first, count, into); },
        [&sending](AVPacket* packet, bool video) {
            if (sending)
                sending->push(packet, video);
        });
    StreamEncoder& encoding = *encoder;
    std::deque<TrackStart> starts;
    for (TrackStart& start : sound.takeTrackStarts())
        starts.push_back(std::move(start));
    SenderSettings settings{options.target, options.retryLimit, starts.empty() ? "" : starts.front().title, messages,
                            [&encoding] { encoding.requestKeyframe(); }};
    StreamSender sender(settings, encoding.codecs());
    sending = &sender;
    const size_t frameBytes = (size_t)format.width * format.height * 3;
    std::unique_ptr<FrameSink> sink = runOnEncoderThread(std::move(encoder), frameBytes, 4);
    PluginStage stage(options.pluginPath, format.width, format.height);
    waitForFirstConnection(sender);

    Pictures pictures;
    pictures.window = stage.host.renderWindow();
    pictures.width = format.width;
    pictures.height = format.height;
    pictures.sink = sink.get();
    pictures.deliver = [&pictures](const uint8_t* rgb, int width, int height) {
        if (pictures.failure)
            return;
        pictures.last.assign(rgb, rgb + (size_t)width * height * 3);
        try {
            pictures.sink->writeFrame(rgb);
        } catch (...) {
            pictures.failure = std::current_exception();
        }
    };
    StreamStatus status(options, messages);
    StreamLoop loop{options, sound, sender, status, stage, pictures, std::move(starts)};
    loop.span.fps = format.fps;
    loop.span.sampleRate = StreamSound::sampleRate;
    const bool stopped = drawAndEnd(loop, *sink);
    sender.finish();
    const double elapsed = secondsSince(loop.started);
    const std::string failure = sender.failure();
    status.update(loop.sent, elapsed, sender, true, !failure.empty() ? "failed" : stopped ? "stopped" : "done");
    status.sayRate(loop.sent, elapsed, "Sent");
    if (!failure.empty())
        throw HostError(failure);
    return stopped ? 128 + interruptSignal() : 0;
}

} // namespace gloamer
