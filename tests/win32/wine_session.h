// wine_session.h -- an X server and a Wine prefix of the tests' own, and Windows programs run in them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace gloamer::testing {

struct WineRun {
    int status = -1; // exit code, or 128 + signal; 124 after the time limit
    std::string output; // stdout
    std::string errors; // stderr
};

// Starts Xvfb on a free display and a wineserver that stays up for the session, in `prefix` (made on first use:
// the first start of Wine in a fresh prefix takes a while, so every later run of the tests reuses it).
// Where 32-bit programs run through qemu-i386, Wine gets what it needs there (see qemu_mmap_noreplace.c).
class WineSession {
public:
    WineSession(const std::filesystem::path& prefix, const std::filesystem::path& qemuShim);
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    // `extraEnvironment`: NAME=value pairs that replace the session's own for this run.
    WineRun run(const std::filesystem::path& program, const std::vector<std::string>& arguments, int timeoutSeconds,
                const std::vector<std::string>& extraEnvironment = {});
    bool throughQemu() const { return throughQemu_; }

private:
    void startWine(const std::filesystem::path& prefix, const std::filesystem::path& qemuShim);
    void stopXvfb();

    std::filesystem::path scratch_;
    int display_ = -1;
    int xvfb_ = -1; // process id
    bool throughQemu_ = false;
    std::vector<std::string> environment_;
};

// The Windows name of a file on this machine: Wine's drive Z: is the root.
std::string windowsPath(const std::filesystem::path& path);

// Runs a Linux program and waits for it.
WineRun runNative(const std::vector<std::string>& command, const std::vector<std::string>& extraEnvironment,
                  int timeoutSeconds);

} // namespace gloamer::testing
