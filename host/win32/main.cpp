// main.cpp -- gloamer.exe: drives a vis plug-in DLL as a player does, replaying frame data files or walking the protocol.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/process/host_error.h"
#include "host/core/host_window.h"
#include "host/core/plugin_library.h"
#include "host/core/plugin_session.h"
#include "host/offline/frame_hooks.h"
#include "host/offline/render_job.h"
#include "host/replay/replay_job.h"
#include "host/process/command_line_checks.h"
#include "host/process/interrupt.h"
#include "host/win32/exe_command_line.h"
#include "host/win32/message_box_catcher.h"

namespace gloamer {

namespace {

// "host" for the host window (of its class "gloamer_host"), the handle for any other, "none" for no window.
std::string describeWindow(HWND window)
{
    char className[32] = {};
    if (window)
        GetClassNameA(window, className, sizeof(className));
    char text[32];
    snprintf(text, sizeof(text), "%p", (void*)window);
    return !window ? "none" : strcmp(className, "gloamer_host") == 0 ? "host" : text;
}

void printMessageBox(const CaughtMessageBox& box)
{
    printf("messagebox: owner=%s caption=\"%s\" text=\"%s\"\n", describeWindow(box.owner).c_str(),
           box.caption.c_str(), box.text.c_str());
    fflush(stdout);
}

int runReplay(const ReplayRequest& request)
{
    OutputRequest output = outputFor(request.output, request.overwrite, request.size);
    output.inputs.push_back(request.data);
    if (!isPictureSequence(request.output))
        throw UsageError("cannot write '" + request.output + "': give numbered pictures like DIR\\%05d.png");
    auto data = std::make_shared<const FrameData>(readFrameData(request.data));

    MessageBoxCatcher catcher(printMessageBox);
    RenderJob job = replayJob(request.pluginPath, data, output);
    installInterruptHandlers();
    return runRenderJob(job, output, request.quiet);
}

bool insideImage(HMODULE module, const void* address)
{
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* at = reinterpret_cast<const BYTE*>(address);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

const char* yesNo(bool value)
{
    return value ? "yes" : "no";
}

DWORD checkClock(void* frame)
{
    return 1000u + 33u * *static_cast<DWORD*>(frame);
}

void countPresent(HWND, int, int, void* presented)
{
    ++*static_cast<int*>(presented);
}

// Reports the windows announced with message 611 from the given one on.
void printAnnouncements(const HostWindow& host, size_t& reported)
{
    for (; reported < host.announcements().size(); ++reported) {
        HWND window = host.announcements()[reported];
        if (!window) {
            printf("611: 0\n");
            continue;
        }
        RECT client = {};
        bool alive = IsWindow(window);
        if (alive)
            GetClientRect(window, &client);
        printf("611: window alive=%s client=%ldx%ld owner=%s visible=%s\n", yesNo(alive), (long)client.right,
               (long)client.bottom, describeWindow(alive ? GetWindow(window, GW_OWNER) : nullptr).c_str(),
               yesNo(alive && IsWindowVisible(window)));
    }
}

// The host knows the plug-in's window only as a player does, from message 611: a window it announced that still
// stands is left over, and so is the class of an announced window, its name read while the window stood.
void printLeftovers(const PluginLibrary& library, const HostWindow& host, const std::string& announcedClass,
                    const char* when)
{
    bool windowLeft = false;
    for (HWND window : host.announcements())
        windowLeft = windowLeft || (window && IsWindow(window));
    if (announcedClass.empty()) {
        printf("%s: window left=%s class unknown (no window announced)\n", when, yesNo(windowLeft));
        return;
    }
    WNDCLASSA windowClass;
    bool registered = GetClassInfoA((HINSTANCE)library.handle(), announcedClass.c_str(), &windowClass) != 0;
    printf("%s: window left=%s class %s registered=%s\n", when, yesNo(windowLeft), announcedClass.c_str(),
           yesNo(registered));
}

// The records as the plug-in hands them over: the header, its modules, module 0's fields and where the host's lie.
void printRecords(PluginLibrary& library)
{
    VisHeader* header = library.header();
    VisModule* module = library.module();
    HMODULE image = library.handle();
    printf("header: version=0x%x description=\"%s\" getModule inside=%s\n", (unsigned)header->version,
           header->description ? header->description : "", yesNo(insideImage(image, (const void*)header->getModule)));
    printf("getModule: 0 again same=%s 1=%s -1=%s\n", yesNo(header->getModule(0) == module),
           header->getModule(1) ? "record" : "null", header->getModule(-1) ? "record" : "null");
    printf("module: description=\"%s\" latencyMs=%d delayMs=%d spectrumChannelCount=%d waveformChannelCount=%d "
           "userData=%p\n",
           module->description ? module->description : "", module->latencyMs, module->delayMs,
           module->spectrumChannelCount, module->waveformChannelCount, module->userData);
    printf("callbacks inside: config=%s init=%s render=%s quit=%s\n", yesNo(insideImage(image, (void*)module->config)),
           yesNo(insideImage(image, (void*)module->init)), yesNo(insideImage(image, (void*)module->render)),
           yesNo(insideImage(image, (void*)module->quit)));
    auto offset = [module](const void* field) { return (long)((const char*)field - (const char*)module); };
    printf("host fields at: parentWindow=%ld libraryInstance=%ld sampleRate=%ld channelCount=%ld spectrumData=%ld "
           "waveformData=%ld\n",
           offset(&module->parentWindow), offset(&module->libraryInstance), offset(&module->sampleRate),
           offset(&module->channelCount), offset(&module->spectrumData), offset(&module->waveformData));
    fflush(stdout);
}

// Renders up to `frames` frames of a made-up spectrum, `frame` telling the clock which; returns how many were
// rendered (fewer when the window was closed).
int renderCheckFrames(VisModule* module, DWORD& frame, int frames)
{
    int rendered = 0;
    for (; rendered < frames; ++rendered) {
        frame = (DWORD)rendered;
        for (int channel = 0; channel < 2; ++channel)
            memset(module->spectrumData[channel], (rendered * 37 + channel * 90) % 256, 576);
        module->render(module);
        if (!pumpWindowMessages())
            break;
    }
    return rendered;
}

// The protocol as a player runs it, each step printed in a line that tests and people can read.
int runCheck(const CheckRequest& request)
{
    PluginLibrary library(request.pluginPath.empty() ? defaultPluginPath() : request.pluginPath);
    printRecords(library);
    VisModule* module = library.module();
    HMODULE image = library.handle();

    std::string announcedClass; // outlives the host window that writes it
    HostWindow host;
    host.setVersionAnswer((LRESULT)request.versionAnswer);
    host.setAnnouncementListener([&announcedClass](HWND window) {
        char name[256] = {};
        GetClassNameA(window, name, sizeof(name));
        announcedClass = name;
    });
    MessageBoxCatcher catcher(printMessageBox);
    DWORD frame = 0;
    int presented = 0;
    FrameHooks hooks(image, checkClock, &frame);
    hooks.setPresentHook(countPresent, &presented);

    module->parentWindow = host.handle();
    module->libraryInstance = (HINSTANCE)image;
    module->sampleRate = 44100;
    module->channelCount = 2;
    printf("config: %d\n", module->config ? module->config(module) : -1);
    fflush(stdout);

    int initResult = module->init(module);
    printf("init: %d\n", initResult);
    size_t reported = 0;
    printAnnouncements(host, reported);
    printLeftovers(library, host, announcedClass, "after init");
    fflush(stdout);
    if (initResult != 0)
        return 0;

    presented = 0;
    int rendered = renderCheckFrames(module, frame, request.frames);
    printf("frames: rendered=%d presented=%d\n", rendered, presented);
    hooks.setPresentHook(nullptr, nullptr);
    printf("quit: %d\n", module->quit(module));
    printAnnouncements(host, reported);
    printLeftovers(library, host, announcedClass, "after quit");
    fflush(stdout);
    return 0;
}

} // namespace

} // namespace gloamer

int main(int argc, char** argv)
{
    int status = gloamer::statusWithStandardOutput(
        gloamer::runExeCommandLine(argc, argv, GLOAMER_VERSION, {gloamer::runReplay, gloamer::runCheck}));
    // Everything is written, closed and reported by now; only the libraries' own teardown is left. Under Wine that
    // teardown runs after the server has counted the process as ended, and a process still there half a second
    // later is killed: on a busy machine the GL driver's teardown took longer and a finished replay ended by
    // SIGKILL. Ending here skips it, as nothing in it is ours.
    fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), (UINT)status);
    return status;
}
