// plugin_fixture.cpp -- resets the fakes and the plug-in's process-wide state before each test.
#include "tests/support/plugin_fixture.h"

#include <cstring>

#include "plugin/state.h"

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
    spriteQueue = nullptr;
    nextTextureName = 1;
    uploadFilterMode = 1;
    drawIntensity = 1.0f;
    feedbackTexture = -1;
    glowTexture = -1;
    logoImage = nullptr;
    logoTexture = 0;

    VisModule* module = getModule(0);
    module->parentWindow = nullptr;
    module->libraryInstance = nullptr;
    module->sampleRate = 0;
    module->channelCount = 0;
    memset(module->spectrumData, 0, sizeof(module->spectrumData));
    memset(module->waveformData, 0, sizeof(module->waveformData));
}

void PluginTest::SetUp()
{
    fake::log().reset();
    fake::resetWin32();
    fake::resetGl();
    resetPluginState();
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
