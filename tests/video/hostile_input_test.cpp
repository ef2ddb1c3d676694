// hostile_input_test.cpp -- what an unattended gloamer meets: names that alias the input, outputs that are not
// regular files, stalled streams, signals, hostile pictures and sounds, and the litter of killed runs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/audio/audio_track.h"
#include "host/process/host_error.h"
#include "host/logo/logo_folder.h"
#include "host/process/pending_file.h"
#include "host/process/system.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_audio.h"

namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An HTTP server of one connection that sends its headers and then nothing: a stream stalled mid-file.
class StallingServer {
public:
    StallingServer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        bind(listener_, (sockaddr*)&address, size);
        listen(listener_, 4);
        getsockname(listener_, (sockaddr*)&address, &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            client_ = accept(listener_, nullptr, nullptr);
            const char headers[] = "HTTP/1.0 200 OK\r\nContent-Type: audio/wav\r\nContent-Length: 99999999\r\n\r\nRIFF";
            (void)!write(client_, headers, sizeof(headers) - 1);
        });
    }
    ~StallingServer()
    {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(client_);
        close(listener_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/radio.wav"; }

private:
    int listener_ = -1, client_ = -1, port_ = 0;
    std::thread thread_;
};

struct Row {
    std::vector<std::string> arguments;
    int status;
    std::string says;                         // in the one line on stderr; empty: nothing on stderr
    std::function<bool()> filesAfter = [] { return true; };
    std::string in = "/dev/null";             // standard input
    int signal = 0;                           // sent once the input FIFO has its reader
    std::string out = "/dev/null";            // standard output
};

class HostileInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -f lavfi -i color=c=white@0.5:s=8x8,format=rgba "
                               "-frames:v 1 -y '" + (folder / "see-through.png").string() + "'").c_str()), 0);
        ASSERT_TRUE(testaudio::writeSound(wav, 22050, 2, testaudio::tones(22050, {{440, 0.5}, {440, 0.5}})));
        ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    }

    // Runs each row, writing into the FIFO from here (opened, then silent) where the row reads it.
    void check(const std::vector<Row>& rows)
    {
        for (const Row& row : rows) {
            std::vector<std::string> all = {GLOAMER_HOST_PATH};
            all.insert(all.end(), row.arguments.begin(), row.arguments.end());
            // Standard input from the FIFO: a writer that never writes is there before the child opens it.
            int writer = row.in == fifo.string() ? open(fifo.c_str(), O_RDWR | O_NONBLOCK) : -1;
            pid_t child = testproc::spawn(all, {row.in, row.out, (folder / "stderr.txt").string()});
            // A signal once the child reads the FIFO, so long after its handlers are in place.
            for (int wait = 0; row.signal && writer < 0 && wait < 6000; ++wait)
                if ((writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0)
                    usleep(10000);
            if (row.signal)
                kill(child, row.signal);
            int status = 0;
            waitpid(child, &status, 0);
            if (writer >= 0)
                close(writer);
            std::string errors = fileText(folder / "stderr.txt");
            SCOPED_TRACE(all[1] + " " + all[2] + ": " + errors);
            EXPECT_EQ(testproc::exitStatus(status), row.status);
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), row.says.empty() ? 0 : 1);
            EXPECT_NE(errors.find(row.says), std::string::npos);
            EXPECT_TRUE(row.filesAfter());
            for (const auto& entry : fs::directory_iterator(folder.path()))
                EXPECT_NE(entry.path().filename().string().rfind(".gloamer-", 0), 0u) << entry.path();
        }
    }

    testfs::TempFolder folder{"gloamer-hostile"};
    fs::path picture = folder / "see-through.png", wav = folder / "music.wav", fifo = folder / "pipe";
};

TEST_F(HostileInputTest, OutputsThatAliasTheInputOrAreNoRegularFileAreRefusedAndPatternsGiveWholeNames)
{
    const std::string before = fileText(picture);
    auto pictureKept = [&] { return fileText(picture) == before; };
    fs::copy_file(picture, folder / "logo.mp4");
    fs::create_directory(folder / "f");
    check({
        {{"logo", "file://" + picture.string(), "-o", picture.string(), "--overwrite"}, 1, "it is the input", pictureKept},
        {{"logo", "-", "-o", picture.string(), "--overwrite"}, 1, "it is the input '-'", pictureKept, picture.string()},
        {{"render", wav.string(), "--logo", (folder / "logo.mp4").string(), "-o", (folder / "logo.mp4").string(),
          "--overwrite", "-q"}, 1, "it is the input", [&] { return fileText(folder / "logo.mp4") == before; }},
        {{"logo", picture.string(), "-o", fifo.string(), "--overwrite"}, 1, "not a regular file",
         [&] { return fs::is_fifo(fifo); }},
        {{"render", wav.string(), "-o", (folder / "f" / "%099d.png").string(), "--size", "16x16", "--fps", "2", "-q"},
         0, "", [&] { return fs::exists(folder / "f" / (std::string(98, '0') + "2.png")); }},
        {{"render", "-o", (folder / "odd.mp4").string(), "--size", "161x120"}, 2, "even width"},
        {{"render", "-o", (folder / "out.mp4").string(), "--logo", "cover"}, 2, "--logo cover"},
        {{"play", "--sensitivity", "nan"}, 2, "nan"},
    });
}

TEST_F(HostileInputTest, StalledStreamsGiveWayToTheTimeoutAndToSignals)
{
    StallingServer server;
    const std::string out = (folder / "out.mp4").string();
    auto noVideo = [&] { return !fs::exists(out); };
    check({
        {{"render", server.url(), "-o", out, "--timeout", "1", "-q"}, 1, "no data came for 1 s", noVideo},
        {{"render", "-", "-o", out, "--timeout", "1", "-q"}, 1, "'standard input': no data came", noVideo, fifo},
        {{"render", fifo.string(), "-o", out, "--timeout", "1", "-q"}, 1, "no data came for 1 s", noVideo},
        {{"render", fifo.string(), "-o", out, "-q"}, 143, "", noVideo, "/dev/null", SIGTERM},
        {{"logo", fifo.string(), "-o", (folder / "logo.bmp").string()}, 130, "",
         [&] { return !fs::exists(folder / "logo.bmp"); }, "/dev/null", SIGINT},
    });
}

TEST_F(HostileInputTest, ProgressLinesAndCompletionScriptsKeepTheOutputRulesAndTellALossOfLines)
{
    const std::string music = fileText(wav), notes = (folder / "notes.txt").string();
    std::ofstream(notes) << "notes";
    fs::create_symlink(wav, folder / "song-link.wav");
    fs::create_symlink(notes, folder / "notes-link.txt");
    fs::create_directory(folder / "f");
    const fs::path lines = folder / "lines";
    ASSERT_EQ(mkfifo(lines.c_str(), 0644), 0);
    const int reader = open(lines.c_str(), O_RDONLY | O_NONBLOCK); // a dashboard, there before the render
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", (folder / "socket").c_str());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, (sockaddr*)&address, sizeof(address)), 0);

    auto render = [&](const std::string& out, std::vector<std::string> more) {
        std::vector<std::string> words{"render", wav.string(), "-o", (folder / out).string(), "--size", "160x120",
                                       "--fps", "5", "-q"};
        words.insert(words.end(), more.begin(), more.end());
        return words;
    };
    auto untouched = [&](const std::string& out) {
        return [&, out] { return fileText(wav) == music && fileText(notes) == "notes" && !fs::exists(folder / out); };
    };
    auto isScript = [](const std::string& text) { return text.rfind("# bash completion", 0) == 0; };
    check({
        {render("a.mp4", {"--progress", wav.string(), "-y"}), 1, "it is the input", untouched("a.mp4")},
        {render("a.mp4", {"--progress", (folder / "song-link.wav").string(), "-y"}), 1, "it is the input",
         untouched("a.mp4")},
        {render("a.mp4", {"--progress", (folder / "a.mp4").string(), "-y"}), 1, "it is the output", untouched("a.mp4")},
        {render("a.mp4", {"--progress", notes}), 1, "exists already (add --overwrite", untouched("a.mp4")},
        {render("a.mp4", {"--progress", (folder / "socket").string(), "-y"}), 1, "not a regular file",
         untouched("a.mp4")},
        {{"replay", wav.string(), "-o", (folder / "a.mp4").string(), "--progress", wav.string()}, 1,
         "it is the input", untouched("a.mp4")},
        {render("piped.mp4", {"--progress", lines.string()}), 0, "",
         [&] {
             char got[4096] = {};
             return fs::is_fifo(lines) && read(reader, got, sizeof(got) - 1) > 0 &&
                    std::string(got).find("\"state\":\"done\"") != std::string::npos &&
                    fs::file_size(folder / "piped.mp4") > 0;
         }},
        // Every line lost: said, status 1, and the video still whole.
        {render("full.mp4", {"--progress", "-"}), 1, "the progress lines to standard output were lost: No space left",
         [&] { return fs::file_size(folder / "full.mp4") > 0; }, "/dev/null", 0, "/dev/full"},
        {{"completion", "bash", notes}, 1, "exists already (add --overwrite", [&] { return fileText(notes) == "notes"; }},
        {{"completion", "bash", (folder / "pipe").string(), "--overwrite"}, 1, "not a regular file",
         [&] { return fs::is_fifo(folder / "pipe"); }},
        {{"completion", "zsh", (folder / "socket").string(), "-y"}, 1, "not a regular file",
         [&] { return fs::is_socket(folder / "socket"); }},
        {{"completion", "bash", (folder / "f").string(), "-y"}, 1, "is a folder",
         [&] { return fs::is_directory(folder / "f"); }},
        {{"completion", "bash", (folder / "notes-link.txt").string(), "-y"}, 0, "",
         [&] {
             return !fs::is_symlink(folder / "notes-link.txt") && isScript(fileText(folder / "notes-link.txt")) &&
                    fileText(notes) == "notes";
         }},
        {{"completion", "bash", notes, "-y"}, 0, "", [&] { return isScript(fileText(notes)); }},
    });
    close(reader);
    close(listener);
}

TEST_F(HostileInputTest, HostilePicturesAndSoundsAreRefusedInOurOwnWords)
{
    // A GIF that declares 16000 x 16000 pixels in its 29 bytes.
    std::ofstream(folder / "huge.gif", std::ios::binary).write(
        "GIF89a\x80\x3e\x80\x3e\0\0\0,\0\0\0\0\x80\x3e\x80\x3e\0\x02\x02\x44\x01\0;", 29);
    std::ofstream(folder / "empty.png").flush();
    ASSERT_TRUE(testaudio::writeSound((folder / "fast.wav").string(), INT32_MAX / 2, 1, std::vector<int16_t>(64)));
    const std::string bmp = (folder / "logo.bmp").string();
    check({
        {{"logo", (folder / "huge.gif").string(), "-o", bmp}, 1, "too large (16000 x 16000"},
        {{"logo", (folder / "empty.png").string(), "-o", bmp}, 1, "the file is empty"},
        {{"render", (folder / "fast.wav").string(), "-o", (folder / "out.mp4").string()}, 1, "sample rate"},
        // Half-transparent white on the logo's black is mid-grey, not a white box.
        {{"logo", picture.string(), "-o", bmp, "--logo-size", "16"}, 0, "", [&] {
             std::string bytes = fileText(bmp);
             return bytes.size() > 54 && std::abs((uint8_t)bytes[54 + 8 * 48 + 24] - 128) < 8;
         }},
    });
}

TEST_F(HostileInputTest, SurroundIsMixedDownSoThatACentreOnlyTrackIsHeard)
{
    // 7.1 with sound in its centre channel alone.
    std::vector<int16_t> samples(8 * 4410);
    for (size_t i = 2; i < samples.size(); i += 8)
        samples[i] = (int16_t)(i % 80 < 40 ? 12000 : -12000);
    ASSERT_TRUE(testaudio::writeSound(wav.string(), 44100, 8, samples));
    gloamer::AudioTrack track = gloamer::loadAudioFile(wav.string(), nullptr);
    ASSERT_EQ(track.channelCount, 2);
    EXPECT_GT(*std::max_element(track.samples.begin(), track.samples.end()), 1000);
}

TEST_F(HostileInputTest, TemporariesOfEndedRunsOnThisMachineAreRemovedAndNoOtherOnes)
{
    pid_t ended = testproc::spawn({"/bin/true"}, {});
    waitpid(ended, nullptr, 0);
    const std::string host = gloamer::hostName();
    const std::vector<std::string> names = {
        ".gloamer-" + host + "-" + std::to_string(ended) + "-0.part",        // removed
        ".gloamer-" + host + "-" + std::to_string(getpid()) + "-0.part",     // a live process's
        ".gloamer-elsewhere-" + std::to_string(ended) + "-0.part",           // another machine's
        ".gloamer-" + host + "-" + std::to_string(ended) + "-1-0.part",      // machine HOST-PID's, its process 1
    };
    for (const std::string& name : names)
        std::ofstream(folder / name) << "x";
    fs::create_directory(folder / ("gloamer-logo-" + host + "-" + std::to_string(ended) + "-AbCdEf"));
    std::ofstream(folder / ("gloamer-logo-" + host + "-" + std::to_string(ended) + "-AbCdEf") / "vis_gloamer.bmp");
    setenv("TMPDIR", folder.path().c_str(), 1);
    { gloamer::LogoFolder logo(GLOAMER_PLUGIN_PATH, "BM"); }
    unsetenv("TMPDIR");
    { gloamer::PendingFile next((folder / "out.bmp").string(), false); }
    EXPECT_FALSE(fs::exists(folder / names[0]));
    EXPECT_TRUE(fs::exists(folder / names[1]) && fs::exists(folder / names[2]) && fs::exists(folder / names[3]));
    EXPECT_FALSE(fs::exists(folder / ("gloamer-logo-" + host + "-" + std::to_string(ended) + "-AbCdEf")));
}

TEST_F(HostileInputTest, WithoutOverwriteAFileThatAppearedMeanwhileIsKept)
{
    const std::string target = (folder / "out.bmp").string();
    gloamer::PendingFile pending(target, false);
    const std::string temporary = pending.path();
    std::ofstream(temporary) << "new";
    std::ofstream(target) << "theirs";
    EXPECT_THROW(pending.commit(), gloamer::HostError);
    EXPECT_EQ(fileText(target), "theirs");
    EXPECT_FALSE(fs::exists(temporary));
}

} // namespace
