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
#include "host/process/interrupt.h"
#include "host/win32/message_box_catcher.h"

namespace gloamer {

namespace {

const char usage[] =
    "usage: gloamer.exe replay DATA -o DIR\\%05d.png [--size WxH] [--plugin PATH] [--overwrite] [-q]\n"
    "       gloamer.exe check [--plugin PATH] [--version-answer N] [--frames N]\n"
    "replay: draws the frames of a frame data file (made by gloamer analyse) into numbered PNG pictures.\n"
    "check:  walks the plug-in through config, init, a few frames and quit, and prints what it saw.\n"
    "Message boxes the plug-in opens are closed at once and printed. Exit status: 0 done, 1 failed, 2 usage.\n";

struct UsageError : HostError {
    using HostError::HostError;
};

// The options of both commands; each command checks the ones it takes.
struct Options {
    std::string command;
    std::string data;
    std::string output;
    std::string pluginPath;
    std::string size = "590x430";
    long versionAnswer = 0x5000;
    int frames = 3;
    bool overwrite = false;
    bool quiet = false;
};

long parseNumber(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    long value = strtol(text.c_str(), &end, 0);
    if (text.empty() || *end)
        throw UsageError(option + " '" + text + "' is not a number");
    return value;
}

Options parseArguments(int argc, char** argv)
{
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw UsageError(argument + " needs a value");
            return argv[++i];
        };
        if (argument == "-o" || argument == "--output")
            options.output = value();
        else if (argument == "--plugin")
            options.pluginPath = value();
        else if (argument == "--size")
            options.size = value();
        else if (argument == "--version-answer")
            options.versionAnswer = parseNumber(argument, value());
        else if (argument == "--frames")
            options.frames = (int)parseNumber(argument, value());
        else if (argument == "--overwrite")
            options.overwrite = true;
        else if (argument == "-q" || argument == "--quiet")
            options.quiet = true;
        else if (!argument.empty() && argument[0] == '-')
            throw UsageError("unknown option " + argument);
        else
            positional.push_back(argument);
    }
    if (positional.empty())
        throw UsageError("no command given");
    options.command = positional[0];
    if (options.command == "replay") {
        if (positional.size() != 2)
            throw UsageError("replay takes one frame data file");
        options.data = positional[1];
    } else if (options.command == "check") {
        if (positional.size() != 1)
            throw UsageError("check takes no file");
        if (options.frames < 0 || options.frames > 100000)
            throw UsageError("--frames " + std::to_string(options.frames) + " is out of range (0 to 100000)");
    } else {
        throw UsageError("unknown command '" + options.command + "'");
    }
    return options;
}

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

int runReplay(const Options& options)
{
    OutputRequest output = outputFor(options.output, options.overwrite, options.size);
    output.inputs.push_back(options.data);
    if (!isPictureSequence(options.output))
        throw HostError("cannot write '" + options.output + "': give numbered pictures like DIR\\%05d.png");
    auto data = std::make_shared<const FrameData>(readFrameData(options.data));

    MessageBoxCatcher catcher(printMessageBox);
    RenderJob job = replayJob(options.pluginPath, data, output);
    installInterruptHandlers();
    return runRenderJob(job, output, options.quiet);
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

// The protocol as a player runs it, each step printed in a line that tests and people can read.
int runCheck(const Options& options)
{
    PluginLibrary library(options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath);
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

    std::string announcedClass; // outlives the host window that writes it
    HostWindow host;
    host.setVersionAnswer((LRESULT)options.versionAnswer);
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
    int rendered = 0;
    for (; rendered < options.frames; ++rendered) {
        frame = (DWORD)rendered;
        for (int channel = 0; channel < 2; ++channel)
            memset(module->spectrumData[channel], (rendered * 37 + channel * 90) % 256, 576);
        module->render(module);
        if (!pumpWindowMessages())
            break;
    }
    printf("frames: rendered=%d presented=%d\n", rendered, presented);
    hooks.setPresentHook(nullptr, nullptr);
    printf("quit: %d\n", module->quit(module));
    printAnnouncements(host, reported);
    printLeftovers(library, host, announcedClass, "after quit");
    fflush(stdout);
    return 0;
}

int run(int argc, char** argv)
{
    try {
        Options options = parseArguments(argc, argv);
        return options.command == "replay" ? runReplay(options) : runCheck(options);
    } catch (const UsageError& error) {
        fprintf(stderr, "gloamer: %s\n%s", error.what(), usage);
        return 2;
    } catch (const HostError& error) {
        fprintf(stderr, "gloamer: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "gloamer: out of memory\n");
    } catch (const std::exception& error) {
        fprintf(stderr, "gloamer: unexpected failure: %s\n", error.what());
    }
    return 1;
}

} // namespace

} // namespace gloamer

int main(int argc, char** argv)
{
    int status = gloamer::run(argc, argv);
    // Everything is written, closed and reported by now; only the libraries' own teardown is left. Under Wine that
    // teardown runs after the server has counted the process as ended, and a process still there half a second
    // later is killed: on a busy machine the GL driver's teardown took longer and a finished replay ended by
    // SIGKILL. Ending here skips it, as nothing in it is ours.
    fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), (UINT)status);
    return status;
}
