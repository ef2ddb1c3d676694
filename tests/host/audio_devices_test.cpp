// audio_devices_test.cpp -- choosing an input by what a user types, and the clock of what is being heard.
#include <gtest/gtest.h>

#include "host/audio/audio_output.h"
#include "host/audio/sdl_audio.h"
#include "host/process/host_error.h"

namespace {

using gloamer::AudioInputList;
using gloamer::chooseAudioInput;

const AudioInputList inputs{true,
                            {"Built-in Audio Analog Stereo", "Monitor of Built-in Audio Analog Stereo",
                             "USB Microphone"}};

std::string failureOf(const AudioInputList& list, const std::string& wanted)
{
    try {
        chooseAudioInput(list, wanted);
    } catch (const gloamer::HostError& error) {
        return error.what();
    }
    return "";
}

TEST(AudioInputChoice, TakesAnExactNameANumberOrOneNamesPartInAnyCase)
{
    EXPECT_EQ(chooseAudioInput(inputs, "Built-in Audio Analog Stereo"), inputs.names[0]);
    EXPECT_EQ(chooseAudioInput(inputs, "2"), inputs.names[1]);
    EXPECT_EQ(chooseAudioInput(inputs, "monitor"), inputs.names[1]);
    EXPECT_EQ(chooseAudioInput(inputs, "usb"), inputs.names[2]);
}

TEST(AudioInputChoice, RefusesWhatMatchesNothingOrSeveral)
{
    EXPECT_NE(failureOf(inputs, "bluetooth").find("no audio input matches 'bluetooth'"), std::string::npos);
    EXPECT_NE(failureOf(inputs, "4").find("no audio input matches '4'"), std::string::npos);
    std::string several = failureOf(inputs, "analog");
    EXPECT_NE(several.find("matches several"), std::string::npos) << several;
    EXPECT_NE(several.find("'Monitor of Built-in Audio Analog Stereo'"), std::string::npos) << several;
}

TEST(AudioInputChoice, PassesTheNameOnWhenTheDriverCannotListInputs)
{
    EXPECT_EQ(chooseAudioInput(AudioInputList{false, {}}, "hw:1,0"), "hw:1,0");
}

TEST(AudioInputChoice, LiveWithoutADeviceTakesTheDefaultOutputsMonitorOrTheOnlyMonitor)
{
    const std::string usb = "Monitor of USB Speakers";
    const AudioInputList two{true, {inputs.names[0], inputs.names[1], usb}};
    struct Case {
        AudioInputList list;
        std::string defaultOutput;
        std::string chosen;
    };
    for (const Case& each : {Case{two, "USB Speakers", usb}, Case{two, "Built-in Audio Analog Stereo", two.names[1]},
                             Case{two, "", ""}, Case{inputs, "", inputs.names[1]},
                             Case{AudioInputList{true, {"USB Microphone"}}, "Speakers", ""}})
        EXPECT_EQ(gloamer::monitorOfDefaultOutput(each.list, each.defaultOutput), each.chosen) << each.defaultOutput;
}

TEST(HeardFrame, RunsFromTheBlockBeforeTheLatestAtTheSampleRateAndStopsAtTheLatest)
{
    using gloamer::estimateHeardFrame;
    EXPECT_EQ(estimateHeardFrame(10240, 1024, 0.0, 44100), 9216);
    EXPECT_EQ(estimateHeardFrame(10240, 1024, 0.01, 44100), 9216 + 441);
    EXPECT_EQ(estimateHeardFrame(10240, 1024, 5.0, 44100), 10240); // the next block is late: wait for it
    EXPECT_EQ(estimateHeardFrame(0, 1024, 0.0, 44100), 0);          // nothing is heard before the start
    EXPECT_EQ(estimateHeardFrame(10240, 1024, -1.0, 44100), 9216);
}

} // namespace
