// frame_feed.cpp -- analysis and shaping per frame, with the shaper's memory (calm, automatic gain) caught up over the frames not drawn.
#include "host/offline/frame_feed.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "host/analysis/spectrum_analyser.h"

namespace gloamer {

namespace {

struct Feed {
    Feed(const AudioTrack& track, const FrameSpan& span, const SpectrumShaping& shaping,
         std::function<void(int64_t frame)> reach)
        : track(track), span(span), shaping(shaping), shaper(shaping), reach(std::move(reach))
    {
    }
    const AudioTrack& track;
    FrameSpan span;
    SpectrumShaping shaping;
    SpectrumAnalyser analyser;
    SpectrumShaper shaper;
    std::function<void(int64_t frame)> reach;
    int64_t next = 0; // the first frame whose rows calm has not yet seen

    void rows(int64_t frame, const VisModule& module, unsigned char spectrum[2][576], unsigned char waveform[2][576])
    {
        if (reach)
            reach(frame);
        analyser.analyse(track, span.analysedFrameOf(frame, module.latencyMs), module.spectrumChannelCount,
                         module.waveformChannelCount, spectrum, waveform);
        shaper.shape(spectrum);
    }
};

} // namespace

std::function<void(int64_t frame, VisModule& module)> audioRowsFeed(const AudioTrack& track, const FrameSpan& span,
                                                                    const SpectrumShaping& shaping,
                                                                    std::function<void(int64_t frame)> reach)
{
    auto feed = std::make_shared<Feed>(track, span, shaping, std::move(reach));
    return [feed](int64_t frame, VisModule& module) {
        unsigned char spectrum[2][576], waveform[2][576];
        for (feed->next = std::max(feed->next, firstFrameAnalysed(feed->shaping, frame)); feed->next < frame;
             ++feed->next)
            feed->rows(feed->next, module, spectrum, waveform);
        feed->rows(frame, module, module.spectrumData, module.waveformData);
        feed->next = frame + 1;
    };
}

int64_t firstFrameAnalysed(const SpectrumShaping& shaping, int64_t firstDrawn)
{
    return shaping.calm || shaping.autoGain ? 0 : firstDrawn; // both remember the frames before
}

} // namespace gloamer
