// recording_plugin.cpp -- a vis plug-in for tests: writes each callback, its thread and the spectrum it got to a file.
// GLOAMER_RECORDING_FILE names the file; GLOAMER_RECORDING_FAIL_INIT=1 makes init fail;
// GLOAMER_RECORDING_SPECTRUM_CHANNELS asks for 1 or 2 spectrum channels (default 2).
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "plugin/state/records.h"

namespace {

void record(const char* format, ...)
{
    const char* path = std::getenv("GLOAMER_RECORDING_FILE");
    if (!path)
        return;
    FILE* file = std::fopen(path, "a");
    if (!file)
        return;
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(file, format, arguments);
    va_end(arguments);
    std::fputc('\n', file);
    std::fclose(file);
}

long threadId()
{
    return (long)syscall(SYS_gettid);
}

// The row's largest entry (first of equals), and the sum of its first 288 entries: the loudness a plug-in reads.
void describeRow(const unsigned char row[576], int& peak, int& level)
{
    peak = 0;
    level = 0;
    for (int entry = 0; entry < 576; ++entry)
        if (row[entry] > row[peak])
            peak = entry;
    for (int entry = 0; entry < 288; ++entry)
        level += row[entry];
}

int __cdecl recordingConfig(VisModule*)
{
    record("config thread=%ld", threadId());
    return 0;
}

int __cdecl recordingInit(VisModule* module)
{
    LRESULT probe = SendMessageA(module->parentWindow, WM_USER, 0, HOSTMSG_VERSION_PROBE);
    record("init thread=%ld probe=%ld rate=%d channels=%d instance=%d", threadId(), (long)probe,
           module->sampleRate, module->channelCount, module->libraryInstance != nullptr);
    const char* fail = std::getenv("GLOAMER_RECORDING_FAIL_INIT");
    return fail && *fail == '1' ? 1 : 0;
}

int __cdecl recordingRender(VisModule* module)
{
    int peak0, level0, peak1, level1;
    describeRow(module->spectrumData[0], peak0, level0);
    describeRow(module->spectrumData[1], peak1, level1);
    record("render thread=%ld peak0=%d level0=%d peak1=%d level1=%d top0=%d", threadId(), peak0, level0, peak1,
           level1, module->spectrumData[0][peak0]);
    return 0;
}

int __cdecl recordingQuit(VisModule*)
{
    record("quit thread=%ld", threadId());
    return 0;
}

VisModule recordingModule = {
    "Recording test plug-in",
    nullptr, nullptr, 0, 0,
    25, // latencyMs
    25, // delayMs
    2,  // spectrumChannelCount
    0,  // waveformChannelCount
    {}, {},
    recordingConfig, recordingInit, recordingRender, recordingQuit,
    nullptr,
};

VisModule* __cdecl recordingGetModule(int index)
{
    if (index != 0)
        return nullptr;
    const char* channels = std::getenv("GLOAMER_RECORDING_SPECTRUM_CHANNELS");
    if (channels)
        recordingModule.spectrumChannelCount = std::atoi(channels);
    return &recordingModule;
}

VisHeader recordingHeader = {0x101, "Recording test plug-in", recordingGetModule};

} // namespace

extern "C" PLUGIN_EXPORT VisHeader* __cdecl winampVisGetHeader(void)
{
    return &recordingHeader;
}
