// progress_file_test.cpp -- where --progress may write: never the input or the output, a pipe or device written
// into, a file replaced only under --overwrite; and lines that cannot be written are told, not swallowed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>

#include "host/offline/progress_lines.h"
#include "host/process/host_error.h"
#include "host/process/output_checks.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A place with an input, links to it, a pipe, a socket, an old file and a folder, as a careless command line
// might name them.
class ProgressFileTest : public ::testing::Test {
public:
    std::string at(const std::string& name) const { return (folder / name).string(); }

protected:
    void SetUp() override
    {
        std::ofstream(at("song.wav")) << "music";
        fs::create_symlink(at("song.wav"), at("link.wav"));
        fs::create_hard_link(at("song.wav"), at("hard.wav"));
        std::ofstream(at("old.jsonl")) << "old lines";
        fs::create_directories(at("sub"));
        fs::create_directory_symlink(folder.path(), at("again"));
        fs::create_symlink(at("nowhere"), at("dangling.jsonl"));
        ASSERT_EQ(mkfifo(at("pipe").c_str(), 0644), 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", at("socket").c_str());
        socket_ = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(socket_, (sockaddr*)&address, sizeof(address)), 0);
    }
    void TearDown() override { close(socket_); }

    testfs::TempFolder folder{"gloamer-progress-file"};
    int socket_ = -1;
};

struct TargetCase {
    std::string name;                 // under the folder, or as it stands when it begins with '/' or is "-"
    bool overwrite;
    std::string refusal;              // part of the error; empty: accepted
    std::vector<std::string> inputs = {"song.wav"};
};

TEST_F(ProgressFileTest, IsNeverTheInputNorTheOutputNorAnythingButAStreamOrAFileOverwriteAllows)
{
    const TargetCase cases[] = {
        {"song.wav", true, "it is the input"},
        {"link.wav", true, "it is the input"},
        {"hard.wav", true, "it is the input"},
        {"/dev/stdin", true, "it is the input '-'", {"-"}},
        {"out.mp4", true, "it is the output"},
        {"sub/../out.mp4", true, "it is the output"},
        {"again/out.mp4", true, "it is the output"},
        {"socket", true, "not a regular file"},
        {"old.jsonl", false, "exists already"},
        {"dangling.jsonl", false, "exists already"},
        {"sub", true, "is a folder"},
        {"missing/p.jsonl", true, "does not exist"},
        {"pipe", false, ""},
        {"old.jsonl", true, ""},
        {"new.jsonl", false, ""},
        {"-", false, ""},
    };
    for (const TargetCase& c : cases) {
        const std::string path = c.name == "-" || c.name[0] == '/' ? c.name : at(c.name);
        std::vector<std::string> inputs;
        for (const std::string& input : c.inputs)
            inputs.push_back(input == "-" ? input : at(input));
        std::string refusal;
        try {
            gloamer::checkProgressFile(path, c.overwrite, at("out.mp4"), inputs);
        } catch (const gloamer::HostError& error) {
            refusal = error.what();
        }
        SCOPED_TRACE(c.name + (c.overwrite ? " with --overwrite" : ""));
        if (c.refusal.empty())
            EXPECT_EQ(refusal, "");
        else
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
    }
}

struct OpenCase {
    std::string what;
    std::string name;
    bool overwrite;
    std::string refusal;                  // part of the error; empty: the lines are written
    std::function<bool(ProgressFileTest&)> after;
};

TEST_F(ProgressFileTest, LinesGoIntoAPipeAsTheyComeAndReplaceALinkOrFileNeverWritingThroughIt)
{
    std::ofstream(at("target.txt")) << "kept";
    fs::create_symlink(at("target.txt"), at("linked.jsonl"));
    fs::create_hard_link(at("old.jsonl"), at("old-twin"));
    // The pipe's reader is there first, as a dashboard's would be.
    const int reader = open(at("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const OpenCase cases[] = {
        {"a pipe is written into", "pipe", false, "",
         [&](ProgressFileTest& test) {
             char got[256] = {};
             return read(reader, got, sizeof(got) - 1) > 0 && std::string(got) == "{\"a\":1}\n" &&
                    fs::is_fifo(test.at("pipe"));
         }},
        {"a file is replaced, its other name keeping the old lines", "old.jsonl", true, "",
         [](ProgressFileTest& test) {
             return readFile(test.at("old.jsonl")) == "{\"a\":1}\n" && readFile(test.at("old-twin")) == "old lines";
         }},
        {"a link is replaced, not written through", "linked.jsonl", true, "",
         [](ProgressFileTest& test) {
             return !fs::is_symlink(test.at("linked.jsonl")) && readFile(test.at("target.txt")) == "kept";
         }},
        {"a file that appeared since the checks is kept", "target.txt", false, "appeared",
         [](ProgressFileTest& test) { return readFile(test.at("target.txt")) == "kept"; }},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string refusal;
        try {
            gloamer::ProgressLines lines(at(c.name), c.overwrite);
            lines.write("{\"a\":1}");
            EXPECT_EQ(lines.failure(), "");
        } catch (const gloamer::HostError& error) {
            refusal = error.what();
        }
        if (c.refusal.empty())
            EXPECT_EQ(refusal, "");
        else
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        EXPECT_TRUE(c.after(*this));
        for (const auto& entry : fs::directory_iterator(folder.path()))
            EXPECT_NE(entry.path().filename().string().rfind(".gloamer-", 0), 0u) << entry.path();
    }
    close(reader);
}

TEST_F(ProgressFileTest, AReaderThatLeavesIsToldAsLostLinesAndNoMoreAreTried)
{
    // As in gloamer itself, a closed pipe is an error to report, not a signal that ends the process.
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    int reader = open(at("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    gloamer::ProgressLines lines(at("pipe"));
    lines.write("{\"frame\":1}");
    EXPECT_EQ(lines.failure(), "");
    close(reader);
    lines.write("{\"frame\":2}");
    lines.write("{\"frame\":3}");
    EXPECT_NE(lines.failure().find("'" + at("pipe") + "' were lost: its reader closed it"), std::string::npos)
        << lines.failure();
    std::signal(SIGPIPE, previous);
}

// Devices of the test's own (as the null and full devices are made), so that nothing of the system's is ever at
// stake; only where device nodes can be made.
TEST_F(ProgressFileTest, ADeviceIsWrittenIntoAndAFullOneIsToldAsLostLines)
{
    if (mknod(at("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(at("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "device nodes cannot be made here (needs root and CAP_MKNOD): " << std::strerror(errno);
    struct stat before;
    ASSERT_EQ(stat(at("full").c_str(), &before), 0);
    for (const char* name : {"null", "full"}) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(gloamer::checkProgressFile(at(name), false, at("out.mp4"), {at("song.wav")}));
        gloamer::ProgressLines lines(at(name));
        lines.write(gloamer::progressLine(1, 10, 0.5, "running"));
        EXPECT_EQ(lines.failure().empty(), std::string(name) == "null") << lines.failure();
        EXPECT_TRUE(fs::is_character_file(at(name)));
    }
    struct stat after;
    ASSERT_EQ(stat(at("full").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the device node was replaced";
}

TEST(ProgressLine, IsOneJsonObjectWithItsKeysInTheDocumentedOrder)
{
    struct Case {
        long frame, total;
        double elapsed;
        const char* state;
        std::string line;
    };
    const Case cases[] = {
        {126, 300, 4.98, "running", R"({"frame":126,"total":300,"fps":25.3,"elapsed":4.98,"state":"running"})"},
        {67, -1, 2.0, "done", R"({"frame":67,"total":null,"fps":33.5,"elapsed":2.0,"state":"done"})"},
        {0, 10, 0.0, "stopped", R"({"frame":0,"total":10,"fps":0.0,"elapsed":0.0,"state":"stopped"})"},
    };
    for (const Case& c : cases) {
        const std::string line = gloamer::progressLine(c.frame, c.total, c.elapsed, c.state);
        EXPECT_EQ(line, c.line);
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
}

} // namespace
