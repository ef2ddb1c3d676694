// cluster_job_test.cpp -- the emitted cluster jobs with hostile names: the Slurm script run by bash (with a fake
// sbatch and a fake gloamer that record what reached them), the refusals of what a job cannot hold, and the GPUs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "host/batch/cluster_job.h"
#include "host/process/host_error.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using Words = std::vector<std::string>;

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void writeProgram(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, fs::perms::owner_all);
}

// The arguments a recorder wrote, each ended by a NUL.
Words recorded(const fs::path& path)
{
    Words words;
    std::string text = readFile(path);
    for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
        words.push_back(text.substr(at, end - at));
    return words;
}

// A fake gloamer and a fake sbatch that record their arguments; the fake sbatch answers --parsable with a job id
// and runs a --wrap command as sbatch does, in a /bin/sh script of its own.
struct FakeCluster {
    testfs::TempFolder root{"gloamer-cluster-job"};
    fs::path bin = root / "bin";
    fs::path program = root / "fake gloamer's $(home)";

    FakeCluster()
    {
        fs::create_directories(bin);
        writeProgram(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done >\"$GLOAMER_RECORD\"\n");
        writeProgram(bin / "sbatch", "#!/bin/sh\n"
                                     "n=1; while [ -e \"$SBATCH_LOG.$n\" ]; do n=$((n+1)); done\n"
                                     "for a in \"$@\"; do printf '%s\\0' \"$a\"; done >\"$SBATCH_LOG.$n\"\n"
                                     "for a in \"$@\"; do case \"$a\" in\n"
                                     "  --parsable) echo 42 ;;\n"
                                     "  --wrap=*) printf '#!/bin/sh\\n\\n%s\\n' \"${a#--wrap=}\" >\"$SBATCH_LOG.wrap\"\n"
                                     "    sh \"$SBATCH_LOG.wrap\" ;;\n"
                                     "esac; done\n");
    }

    // bash SCRIPT in the root folder, inside a job or outside one; its exit status.
    int runScript(const fs::path& script, bool inJob, const std::string& record)
    {
        std::vector<std::string> variables = {"PATH=" + bin.string() + ":/usr/bin:/bin",
                                              "GLOAMER_RECORD=" + (root / record).string(),
                                              "SBATCH_LOG=" + (root / "sbatch").string()};
        if (inJob)
            variables.push_back("SLURM_JOB_ID=7");
        std::vector<char*> environment;
        for (std::string& variable : variables)
            environment.push_back(variable.data());
        environment.push_back(nullptr);
        pid_t child = testproc::spawn({"/bin/bash", script.string()}, {"/dev/null", "", "", root.path().string()},
                                      environment.data());
        int status = 0;
        waitpid(child, &status, 0);
        return testproc::exitStatus(status);
    }
};

// The #SBATCH lines sbatch takes (those before the first command), each as option name and value read back as
// sbatch reads a line: double quotes group, a backslash in them escapes the next character.
std::map<std::string, std::string> directivesOf(const std::string& script)
{
    std::map<std::string, std::string> found;
    std::istringstream lines(script);
    for (std::string line; std::getline(lines, line) && (line.empty() || line[0] == '#');) {
        if (line.rfind("#SBATCH --", 0) != 0)
            continue;
        const size_t equals = line.find('=');
        std::string value;
        bool quoted = false;
        for (size_t i = equals + 1; i < line.size(); ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else if (quoted && line[i] == '\\' && i + 1 < line.size())
                value += line[++i];
            else
                value += line[i];
        }
        found[line.substr(10, equals - 10)] = value;
    }
    return found;
}

std::string undoublePercents(const std::string& pattern)
{
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i)
        text += pattern[i], i += pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%';
    return text;
}

struct HostileCase {
    const char* what;
    std::string list;   // as the job names it (any text: the fake gloamer opens nothing)
    std::string folder; // under the test's folder
    std::string plugin; // a render option's value
};

const std::vector<HostileCase> hostileJobCases = {
    {"plain", "/music/list.txt", "out", "/p/vis.so"},
    {"line breaks that end a line of the script", "/m/a\n#SBATCH --mem=1\ntouch PWNED\r\n", "o", "/p/\ntouch PWNED"},
    {"spaces and percents", "/m/my list %A.txt", "out dir %A_%a %%j", "/p/a b.so"},
    {"command substitution", "/m/$(touch PWNED)`touch PWNED`.txt", "o$(touch PWNED)", "/p/${HOME}.so"},
    {"quotes and comments", "/m/it's \"a\" #list", "o'u\"t #1", "/p/'; touch PWNED; '"},
    {"backslashes", "/m/a\\b\\'", "out", "/p/\\\\"},
    {"U+0085, not UTF-8, DEL", "/m/a\u0085b\xe9\x7f.txt", "o\u0085\xff", "/p/\u2028.so"},
    {"leading dashes", "--plugin=/evil.so", "-o", "-rf"},
};

TEST(ClusterJobHostileNames, SlurmScriptGivesEveryValueBackExactlyAndRunsNothingElse)
{
    for (const HostileCase& hostile : hostileJobCases) {
        SCOPED_TRACE(hostile.what);
        FakeCluster cluster;
        gloamer::ClusterJob job;
        job.program = cluster.program.string();
        job.list = hostile.list;
        job.folder = (cluster.root / hostile.folder).string();
        job.batchArgs = {"--plugin", hostile.plugin, "--format", "mp4"};
        job.tasks = 3;
        job.joins = true;
        const std::string script = gloamer::slurmScript(job);
        const fs::path file = cluster.root / "job.sh";
        std::ofstream(file, std::ios::binary) << script;

        // Inside a job: the task's own command line, every word as it was meant.
        ASSERT_EQ(cluster.runScript(file, true, "task"), 0) << script;
        const Words options = {"--plugin", hostile.plugin, "--format", "mp4", "--", hostile.list};
        Words expected = {"batch", "--output=" + job.folder};
        expected.insert(expected.end(), options.begin(), options.end());
        EXPECT_EQ(recorded(cluster.root / "task"), expected);

        // Outside: the log folder, the array, then the join through sbatch's own script.
        ASSERT_EQ(cluster.runScript(file, false, "join"), 0) << script;
        EXPECT_TRUE(fs::is_directory(job.folder + "/.gloamer-batch/logs"));
        EXPECT_EQ(recorded(cluster.root / "sbatch.1"), (Words{"--parsable", file.string()}));
        expected = {"batch", "--output=" + job.folder, "--join-only"};
        expected.insert(expected.end(), options.begin(), options.end());
        EXPECT_EQ(recorded(cluster.root / "join"), expected);
        const Words join = recorded(cluster.root / "sbatch.2");
        EXPECT_NE(std::find(join.begin(), join.end(), "--dependency=afterany:42"), join.end());
        const auto joinLog = std::find_if(join.begin(), join.end(), [](auto& w) { return w.rfind("--output=", 0) == 0; });
        ASSERT_NE(joinLog, join.end());
        EXPECT_EQ(undoublePercents(joinLog->substr(9)), job.folder + "/.gloamer-batch/logs/%j_join.log");

        // What sbatch reads before the first command: the directives this job has, the log's name as it is.
        auto directives = directivesOf(script);
        EXPECT_EQ(directives.size(), 6u);
        EXPECT_EQ(undoublePercents(directives["output"]), job.folder + "/.gloamer-batch/logs/%A_%a.log");
        EXPECT_FALSE(fs::exists(cluster.root / "PWNED"));
    }
}

struct Refusal {
    const char* what;
    void (*spoil)(gloamer::ClusterJob&);
    bool slurm;           // refused by the Slurm script (else by the Kubernetes Job)
    const char* quoted;   // how the refusal names the value
    const char* reason;
};

TEST(ClusterJobRefusals, WhatAJobCannotHoldIsRefusedOnOneLineNamingIt)
{
    const std::vector<Refusal> refusals = {
        {"a line break in the folder", [](auto& job) { job.folder = "/out/a\nb"; }, true, "'/out/a\\x0ab'",
         "no #SBATCH line can hold"},
        {"a tab in the folder", [](auto& job) { job.folder = "/out/a\tb"; }, true, "'/out/a\\x09b'",
         "no #SBATCH line can hold"},
        {"a backslash in the folder", [](auto& job) { job.folder = "/out/a\\b"; }, true, "'/out/a\\\\b'",
         "reads the log's name literally"},
        {"a job name the CLI would refuse", [](auto& job) { job.name = "x\n#SBATCH"; }, true, "'x\\x0a#SBATCH'",
         "cannot name a job"},
        {"a line break in --gres", [](auto& job) { job.gres = "gpu:1\nrm"; }, true, "'gpu:1\\x0arm'",
         "no #SBATCH line can hold"},
        {"a list that is not UTF-8", [](auto& job) { job.list = "/m/caf\xe9.txt"; }, false, "'/m/caf\\xe9.txt'",
         "is not UTF-8"},
        {"a folder with a surrogate", [](auto& job) { job.folder = "/o/\xed\xa0\x80"; }, false,
         "'/o/\\xed\\xa0\\x80'", "is not UTF-8"},
        {"an overlong slash in the plugin", [](auto& job) { job.batchArgs = {"--plugin", "/p\xc0\xaf"}; }, false,
         "'/p\\xc0\\xaf'", "is not UTF-8"},
        {"an image cut mid-character", [](auto& job) { job.image = "reg/\xe2\x82"; }, false, "'reg/\\xe2\\x82'",
         "is not UTF-8"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        gloamer::ClusterJob job;
        job.program = "/bin/gloamer";
        job.list = "/m/list.txt";
        job.folder = "/out";
        job.image = "registry.example/gloamer:1";
        job.mountPath = "/";
        job.claim = "c";
        refusal.spoil(job);
        try {
            refusal.slurm ? (void)gloamer::slurmScript(job) : (void)gloamer::kubernetesJob(job);
            ADD_FAILURE() << "not refused";
        } catch (const gloamer::UsageError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(refusal.quoted), std::string::npos) << message;
            EXPECT_NE(message.find(refusal.reason), std::string::npos) << message;
            EXPECT_EQ(message.find_first_of("\n\r"), std::string::npos) << message;
        }
        // The other emitter takes what only this one cannot hold (a name the CLI refuses aside).
        if (job.name == "gloamer-batch") {
            EXPECT_NO_THROW(refusal.slurm ? (void)gloamer::kubernetesJob(job) : (void)gloamer::slurmScript(job));
        }
    }
}

TEST(ClusterJobGpus, EachRenderTaskAsksForItsGpusAndTheJoinForNone)
{
    struct Case {
        int gpus;
        std::string gres;
        Words directives; // the GPU lines of the script
    };
    const std::vector<Case> cases = {
        {0, "", {}},
        {2, "", {"#SBATCH --gpus-per-task=2"}},
        {0, "gpu:a100:1", {"#SBATCH --gres=\"gpu:a100:1\""}},
    };
    for (const Case& gpuCase : cases) {
        SCOPED_TRACE(gpuCase.gpus);
        gloamer::ClusterJob job;
        job.program = "/bin/gloamer";
        job.list = "/m/list.txt";
        job.folder = "/out";
        job.gpus = gpuCase.gpus;
        job.gres = gpuCase.gres;
        job.joins = true;
        const std::string script = gloamer::slurmScript(job);
        Words found;
        std::istringstream lines(script);
        for (std::string line; std::getline(lines, line);)
            if (line.find("gpu") != std::string::npos && line.rfind("#SBATCH", 0) == 0)
                found.push_back(line);
        EXPECT_EQ(found, gpuCase.directives);
        const bool asks = !gpuCase.directives.empty();
        EXPECT_EQ(script.find("export NVIDIA_DRIVER_CAPABILITIES=compute,utility,graphics,video\n") !=
                      std::string::npos, asks);
        // The join step is submitted with options of its own: none of them asks for a GPU.
        const size_t join = script.find("--dependency"), end = script.find("\nfi\n", join);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(script.substr(join, end - join).find("gpu"), std::string::npos);
    }
}

} // namespace
