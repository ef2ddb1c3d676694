// wine_session.cpp -- Xvfb on a display nobody uses, the shared prefix, and programs run with a time limit.
#include "tests/win32/wine_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;
namespace fs = std::filesystem;

namespace gloamer::testing {

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> all;
    for (char** entry = environ; *entry; ++entry)
        all.emplace_back(*entry);
    return all;
}

void setVariable(std::vector<std::string>& environment, const std::string& assignment)
{
    std::string name = assignment.substr(0, assignment.find('=') + 1);
    for (std::string& entry : environment)
        if (entry.compare(0, name.size(), name) == 0) {
            entry = assignment;
            return;
        }
    environment.push_back(assignment);
}

pid_t startProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                   const fs::path& out, const fs::path& err)
{
    std::vector<char*> argv, envp;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP); // its own group, so a time-out ends all of it
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    int failed = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed)
        throw std::runtime_error("cannot start " + command[0] + ": " + strerror(failed));
    return child;
}

int waitFor(pid_t child, int timeoutSeconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-child, SIGKILL);
            waitpid(child, &status, 0);
            return 124;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

WineRun runWith(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                const fs::path& scratch, int timeoutSeconds)
{
    fs::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    WineRun run;
    run.status = waitFor(startProcess(command, environment, out, err), timeoutSeconds);
    run.output = readFile(out);
    run.errors = readFile(err);
    return run;
}

} // namespace

std::string windowsPath(const fs::path& path)
{
    return "Z:" + fs::absolute(path).string();
}

WineRun runNative(const std::vector<std::string>& command, const std::vector<std::string>& extraEnvironment,
                  int timeoutSeconds)
{
    std::vector<std::string> environment = currentEnvironment();
    for (const std::string& assignment : extraEnvironment)
        setVariable(environment, assignment);
    fs::path scratch = fs::temp_directory_path() / ("gloamer-native-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    WineRun run = runWith(command, environment, scratch, timeoutSeconds);
    fs::remove_all(scratch);
    return run;
}

WineSession::WineSession(const fs::path& prefix, const fs::path& qemuShim)
{
    scratch_ = fs::temp_directory_path() / ("gloamer-wine-" + std::to_string(getpid()));
    fs::create_directories(scratch_);
    environment_ = currentEnvironment();

    // Xvfb picks a free display itself (taking its lock file, so no other server gets it too) and says which once
    // it takes connections: a display chosen by looking could be taken by a server another test started meanwhile.
    pid_t server = startProcess({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                                environment_, scratch_ / "xvfb.out", scratch_ / "xvfb.err");
    for (int wait = 0; wait < 600 && xvfb_ < 0; ++wait) {
        const std::string said = readFile(scratch_ / "xvfb.out");
        if (said.find('\n') != std::string::npos) {
            xvfb_ = server;
            display_ = std::stoi(said);
        } else if (waitpid(server, nullptr, WNOHANG) == server)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (xvfb_ < 0 && waitpid(server, nullptr, WNOHANG) == 0) {
        kill(-server, SIGKILL);
        waitpid(server, nullptr, 0);
    }
    if (xvfb_ < 0)
        throw std::runtime_error("cannot start Xvfb: " + readFile(scratch_ / "xvfb.err"));
    try {
        startWine(prefix, qemuShim);
    } catch (...) {
        stopXvfb();
        throw;
    }
}

void WineSession::startWine(const fs::path& prefix, const fs::path& qemuShim)
{

    setVariable(environment_, "DISPLAY=:" + std::to_string(display_));
    setVariable(environment_, "WINEPREFIX=" + fs::absolute(prefix).string());
    setVariable(environment_, "WINEDEBUG=-all");
    // No Mono or Gecko installer, no menu entries: nothing a test needs, and nothing to download.
    setVariable(environment_, "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d");
    throughQemu_ = fs::exists("/proc/sys/fs/binfmt_misc/qemu-i386");
    if (throughQemu_) {
        setVariable(environment_, "LD_PRELOAD=" + fs::absolute(qemuShim).string());
        // qemu 7.2's AVX and llvmpipe's rasterizer threads both go wrong under emulation; SSE and one thread do not.
        setVariable(environment_, "QEMU_CPU=max,-avx,-avx2,-fma,-f16c");
        setVariable(environment_, "LP_NUM_THREADS=0");
    }

    if (!fs::exists(prefix / "system.reg")) {
        fs::create_directories(prefix.parent_path());
        WineRun boot = runWith({"wineboot", "-i"}, environment_, scratch_, 400);
        // The registry reaches the disk when the server stops.
        runWith({"wineserver", "-w"}, environment_, scratch_, 120);
        if (!fs::exists(prefix / "system.reg"))
            throw std::runtime_error("cannot make the Wine prefix " + prefix.string() + ": " + boot.errors);
    }
    // One server for every run of the session, so that each run does not start Wine's services anew.
    runWith({"wineserver", "-p"}, environment_, scratch_, 60);
}

WineSession::~WineSession()
{
    runWith({"wineserver", "-k"}, environment_, scratch_, 60);
    stopXvfb();
}

void WineSession::stopXvfb()
{
    if (xvfb_ > 0) {
        kill(xvfb_, SIGTERM);
        waitpid(xvfb_, nullptr, 0);
        xvfb_ = -1;
    }
    fs::remove_all(scratch_);
}

WineRun WineSession::run(const fs::path& program, const std::vector<std::string>& arguments, int timeoutSeconds,
                         const std::vector<std::string>& extraEnvironment)
{
    std::vector<std::string> command = {"wine", program.string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = environment_;
    for (const std::string& assignment : extraEnvironment)
        setVariable(environment, assignment);
    return runWith(command, environment, scratch_, timeoutSeconds);
}

} // namespace gloamer::testing
