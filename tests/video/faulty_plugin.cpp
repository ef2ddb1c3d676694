// faulty_plugin.cpp -- a vis plug-in for tests: the real one, driven through, failing as GLOAMER_FAULT says.
// GLOAMER_FAULT is refuse:N (render returns 1 at frame N), crash:N, abort:N, kill:N (SIGKILL), exit:N (exit(0)
// at frame N), _exit:N (_exit(7)), quit:N (its window's quit message posted after frame N), crash-quit or
// exit-quit (exit(0) in its quit);
// GLOAMER_FAULTY_REAL names the plug-in that draws.
#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "plugin/state/records.h"

namespace {

VisModule* real = nullptr;
void* realLibrary = nullptr;
int frame = 0;

bool faultIs(const char* kind, int at)
{
    const char* fault = std::getenv("GLOAMER_FAULT");
    size_t length = std::strlen(kind);
    return fault && std::strncmp(fault, kind, length) == 0 &&
           (fault[length] == 0 || (fault[length] == ':' && std::atoi(fault + length + 1) == at));
}

int __cdecl faultyInit(VisModule* module)
{
    real->parentWindow = module->parentWindow;
    real->libraryInstance = (HINSTANCE)realLibrary; // its logo lies beside it, not beside us
    real->sampleRate = module->sampleRate;
    real->channelCount = module->channelCount;
    return real->init(real);
}

int __cdecl faultyRender(VisModule* module)
{
    ++frame;
    if (faultIs("crash", frame))
        std::raise(SIGSEGV);
    if (faultIs("abort", frame))
        std::abort();
    if (faultIs("kill", frame))
        std::raise(SIGKILL);
    if (faultIs("exit", frame))
        std::exit(0);
    if (faultIs("_exit", frame))
        _exit(7);
    std::memcpy(real->spectrumData, module->spectrumData, sizeof(module->spectrumData));
    std::memcpy(real->waveformData, module->waveformData, sizeof(module->waveformData));
    int verdict = real->render(real);
    if (faultIs("quit", frame))
        PostQuitMessage(0);
    return faultIs("refuse", frame) ? 1 : verdict;
}

int __cdecl faultyQuit(VisModule*)
{
    if (faultIs("crash-quit", 0))
        std::raise(SIGSEGV);
    int verdict = real->quit(real);
    if (faultIs("exit-quit", 0))
        std::exit(0);
    return verdict;
}

VisModule faultyModule = {"Faulty test plug-in", nullptr, nullptr, 0, 0, 0, 0, 2, 2, {}, {},
                          nullptr, faultyInit, faultyRender, faultyQuit, nullptr};

VisModule* __cdecl faultyGetModule(int index)
{
    if (index != 0)
        return nullptr;
    if (!real) {
        realLibrary = dlopen(std::getenv("GLOAMER_FAULTY_REAL"), RTLD_NOW);
        auto header = realLibrary ? (VisHeader * (*)()) dlsym(realLibrary, "winampVisGetHeader") : nullptr;
        real = header ? header()->getModule(0) : nullptr;
    }
    return real ? &faultyModule : nullptr;
}

VisHeader faultyHeader = {0x101, "Faulty test plug-in", faultyGetModule};

} // namespace

extern "C" PLUGIN_EXPORT VisHeader* __cdecl winampVisGetHeader(void)
{
    return &faultyHeader;
}
