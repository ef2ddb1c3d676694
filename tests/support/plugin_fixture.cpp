// plugin_fixture.cpp -- resets the fakes and the plug-in's process-wide state before each test.
#include "tests/support/plugin_fixture.h"

#include <cstdlib>
#include <cstring>

#include "image/bitmap_reader.h"
#include "plugin/state.h"
#include "tests/support/bitmap_files.h"
#include "render/captures.h"
#include "render/sprite_animation.h"
#include "render/sprite_queue.h"

void resetPluginState()
{
    memset(&settings, 0, sizeof(settings));
    hostModule = nullptr;
    instanceHandle = nullptr;
    renderWindow = nullptr;
    deviceContext = nullptr;
    glContext = nullptr;
    quitting = 0;
    frameTime = 0;
    while (spriteQueue) {
        Sprite* next = spriteQueue->next;
        free(spriteQueue);
        spriteQueue = next;
    }
    nextTextureName = 1;
    uploadFilterMode = 1;
    drawIntensity = 1.0f;
    feedbackTexture = -1;
    glowTexture = -1;
    free(logoImage);
    logoImage = nullptr;
    logoTexture = 0;
    closeBitmapFile();
    bitmapFileLength = 0;
    memset(spinAngle, 0, sizeof(spinAngle));
    srand(1); // the C library's generator, which the plug-in never seeds, back to its unseeded sequence
    feedbackTextureWidth = 0;
    feedbackTextureHeight = 0;
    glowTextureWidth = 0;
    glowTextureHeight = 0;

    VisModule* module = getModule(0);
    module->parentWindow = nullptr;
    module->libraryInstance = nullptr;
    module->sampleRate = 0;
    module->channelCount = 0;
    memset(module->spectrumData, 0, sizeof(module->spectrumData));
    memset(module->waveformData, 0, sizeof(module->waveformData));
}

// Where the fake library lives: a folder holding a small valid logo, so that init finds one.
static std::string libraryBesideALogo()
{
    static testbmp::TempFolder folder("gloamer-fixture");
    static std::string library = [] {
        testbmp::writeFile(folder / "vis_gloamer.bmp", testbmp::bitmap(4, 4, testbmp::gradient(4, 4)));
        return (folder / "vis_any.so").string();
    }();
    return library;
}

void PluginTest::SetUp()
{
    fake::log().reset();
    fake::resetWin32();
    fake::win32().moduleFileName = libraryBesideALogo();
    fake::resetGl();
    fake::resetHeap();
    resetPluginState();
}

void PluginTest::TearDown()
{
    fake::resetHeap();
}

VisModule* PluginTest::module()
{
    VisModule* module = getModule(0);
    module->parentWindow = fake::hostWindowHandle();
    module->libraryInstance = fake::libraryInstanceHandle();
    module->sampleRate = 44100;
    module->channelCount = 2;
    return module;
}
