// gpu_choice_test.cpp -- --gpu over made-up device lists, software renderers by name, the renderer in progress lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/core/gl_renderer.h"
#include "host/core/gpu_choice.h"
#include "host/offline/progress_lines.h"
#include "host/process/host_error.h"
#include "tests/support/temp_folder.h"

namespace gloamer {
namespace {

// A device as EGL lists it, and what a context made on it would say.
struct FakeDevice {
    bool software;
    bool draws;
    const char* renderer;
};

std::vector<EglDevice> listOf(const std::vector<FakeDevice>& fakes)
{
    std::vector<EglDevice> devices;
    for (const FakeDevice& fake : fakes) {
        EglDevice device;
        device.index = (int)devices.size();
        device.software = fake.software;
        devices.push_back(device);
    }
    return devices;
}

enum Outcome { Chosen, NoSuchDevice, CannotDraw };

struct ChoiceCase {
    const char* gpu;
    std::vector<FakeDevice> devices;
    Outcome outcome;
    int chosen;           // with Chosen
    int probesAtMost;     // devices probed to get there
    const char* message;  // part of the error line
};

TEST(GpuChoice, PicksTheDeviceAskedForAndRefusesWhatIsNotThere)
{
    const FakeDevice soft{true, true, "llvmpipe (LLVM 15.0.6, 256 bits)"};
    const FakeDevice nvidia{false, true, "NVIDIA H100 80GB HBM3/PCIe/SSE2"};
    const FakeDevice radeon{false, true, "AMD Radeon RX 7900 XTX (radeonsi, navi31)"};
    const FakeDevice brokenGpu{false, false, ""};
    const ChoiceCase cases[] = {
        {"auto", {soft}, Chosen, 0, 1, ""},
        {"auto", {soft, nvidia}, Chosen, 1, 1, ""},
        {"auto", {brokenGpu, soft, radeon}, Chosen, 2, 2, ""},
        {"auto", {brokenGpu, soft}, Chosen, 1, 2, ""},
        {"auto", {}, Chosen, -1, 0, ""},
        {"0", {soft}, Chosen, 0, 1, ""},
        {"1", {soft, nvidia, radeon}, Chosen, 1, 1, ""},
        {"7", {soft}, NoSuchDevice, 0, 1, "--gpu 7: there is no device 7 (this machine has 1: 0: llvmpipe (LLVM"},
        {"1", {brokenGpu, brokenGpu}, CannotDraw, 0, 1, "--gpu 1: device 1 (GPU) cannot draw: broken"},
        {"software", {nvidia, soft}, Chosen, 1, 1, ""},
        {"software", {nvidia}, NoSuchDevice, 0, 1, "no software renderer (this machine has 1: 0: NVIDIA H100"},
        {"SOFTWARE", {brokenGpu, soft}, Chosen, 1, 1, ""},
        {"radeon", {soft, nvidia, radeon}, Chosen, 2, 3, ""},
        {"h100", {soft, nvidia}, Chosen, 1, 2, ""},
        {"intel", {soft, nvidia}, NoSuchDevice, 0, 2, "no device's vendor or renderer names it (this machine has 2: "
                                                      "0: llvmpipe (LLVM 15.0.6, 256 bits) (software); 1: NVIDIA H100"},
        {"software", {}, NoSuchDevice, 0, 0, "lists no devices that draw offscreen"},
        {"0", {}, NoSuchDevice, 0, 0, "lists no devices"},
    };
    for (const ChoiceCase& test : cases) {
        SCOPED_TRACE(std::string(test.gpu) + " over " + std::to_string(test.devices.size()) + " devices");
        std::vector<EglDevice> devices = listOf(test.devices);
        int probes = 0;
        auto probe = [&](EglDevice& device) {
            ++probes;
            const FakeDevice& fake = test.devices[(size_t)device.index];
            device.draws = fake.draws;
            device.renderer = fake.renderer;
            device.failure = fake.draws ? "" : "broken";
        };
        const GpuRequest request = *parseGpuRequest(test.gpu);
        try {
            const int chosen = chooseGpu(request, devices, probe);
            EXPECT_EQ(test.outcome, Chosen);
            EXPECT_EQ(chosen, test.chosen);
        } catch (const UsageError& error) {
            EXPECT_EQ(test.outcome, NoSuchDevice) << error.what();
            EXPECT_NE(std::string(error.what()).find(test.message), std::string::npos) << error.what();
        } catch (const HostError& error) {
            EXPECT_EQ(test.outcome, CannotDraw) << error.what();
            EXPECT_NE(std::string(error.what()).find(test.message), std::string::npos) << error.what();
        }
        EXPECT_LE(probes, test.probesAtMost);
    }
}

TEST(GpuChoice, AutoWithNoDeviceThatDrawsSaysWhyForEach)
{
    std::vector<EglDevice> devices = listOf({{false, false, ""}, {true, false, ""}});
    auto probe = [](EglDevice& device) { device.failure = "reason " + std::to_string(device.index); };
    try {
        chooseGpu(*parseGpuRequest("auto"), devices, probe);
        FAIL() << "no device draws, yet one was chosen";
    } catch (const UsageError&) {
        FAIL() << "the devices are there: not a command-line mistake";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("0: reason 0; 1: reason 1"), std::string::npos) << error.what();
    }
}

TEST(GpuChoice, ReadsEachFormOfTheOption)
{
    struct Case {
        const char* text;
        bool valid;
        GpuRequest::Kind kind;
        int index;
        const char* name;
    } cases[] = {
        {"auto", true, GpuRequest::Auto, -1, ""},     {"Auto", true, GpuRequest::Auto, -1, ""},
        {"software", true, GpuRequest::Software, -1, ""}, {"0", true, GpuRequest::Index, 0, ""},
        {"12", true, GpuRequest::Index, 12, ""},      {"NVIDIA", true, GpuRequest::Name, -1, "nvidia"},
        {"RTX 4090", true, GpuRequest::Name, -1, "rtx 4090"},
        {"99999999999", true, GpuRequest::Name, -1, "99999999999"}, // too long for a device number
        {"", false, GpuRequest::Auto, -1, ""},        {"-1", false, GpuRequest::Auto, -1, ""},
        {"--gpu", false, GpuRequest::Auto, -1, ""},
    };
    for (const Case& test : cases) {
        std::optional<GpuRequest> request = parseGpuRequest(test.text);
        ASSERT_EQ(request.has_value(), test.valid) << test.text;
        if (!request)
            continue;
        EXPECT_EQ(request->kind, test.kind) << test.text;
        EXPECT_EQ(request->index, test.index) << test.text;
        EXPECT_EQ(request->name, test.name) << test.text;
    }
}

TEST(GpuChoice, AContextOnAnotherRendererThanTheChosenOneIsRefused)
{
    EglDevice chosen;
    chosen.index = 1;
    chosen.renderer = "NVIDIA H100 80GB HBM3/PCIe/SSE2";
    const GpuRequest request = *parseGpuRequest("1");
    GlRenderer same{"NVIDIA Corporation", chosen.renderer, false};
    GlRenderer fellBack{"Mesa", "llvmpipe (LLVM 15.0.6, 256 bits)", true};
    EXPECT_NO_THROW(checkDrawsOnChosenGpu(request, chosen, same));
    EXPECT_NO_THROW(checkDrawsOnChosenGpu(request, std::nullopt, fellBack)); // the driver's own choice
    EXPECT_THROW(checkDrawsOnChosenGpu(request, chosen, fellBack), HostError);
    EXPECT_THROW(checkDrawsOnChosenGpu(request, chosen, GlRenderer{}), HostError);
}

TEST(GlRendererNames, TellsSoftwareFromHardware)
{
    struct Case {
        const char* vendor;
        const char* renderer;
        bool software;
    } cases[] = {
        {"Mesa", "llvmpipe (LLVM 15.0.6, 256 bits)", true},
        {"Mesa/X.org", "softpipe", true},
        {"Mesa Project", "Software Rasterizer", true},
        {"Google Inc.", "Google SwiftShader", true},
        {"Microsoft Corporation", "GDI Generic", true},
        {"Microsoft Corporation", "Microsoft Basic Render Driver", true},
        {"NVIDIA Corporation", "NVIDIA H100 80GB HBM3/PCIe/SSE2", false},
        {"AMD", "AMD Radeon RX 7900 XTX (radeonsi, navi31, LLVM 15.0.6, DRM 3.54)", false},
        {"Intel", "Mesa Intel(R) UHD Graphics 630 (CFL GT2)", false},
        {"Microsoft Corporation", "D3D12 (NVIDIA GeForce RTX 3080)", false},
    };
    for (const Case& test : cases)
        EXPECT_EQ(isSoftwareRenderer(test.vendor, test.renderer), test.software) << test.renderer;
}

TEST(ProgressLinesRenderer, EveryLineAfterTheRendererIsKnownCarriesIt)
{
    testfs::TempFolder folder("gloamer-progress");
    const std::string path = (folder / "p.jsonl").string();
    {
        ProgressLines lines(path);
        lines.write(progressLine(0, 10, 0.0, "running"));
        lines.setRenderer("llvmpipe \"quoted\" \\ (LLVM)", true);
        lines.write(progressLine(5, 10, 1.0, "running"));
        lines.write(progressLine(10, -1, 2.0, "done"));
    }
    std::ifstream in(path);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(in, line);)
        objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_FALSE(objects[0].contains("renderer"));
    for (size_t at : {1u, 2u}) {
        EXPECT_EQ(objects[at].at("renderer"), "llvmpipe \"quoted\" \\ (LLVM)");
        EXPECT_EQ(objects[at].at("software"), true);
    }
    EXPECT_EQ(objects[1].at("frame"), 5);
    EXPECT_EQ(objects[2].at("state"), "done");
    EXPECT_TRUE(objects[2].at("total").is_null());
}

} // namespace
} // namespace gloamer
