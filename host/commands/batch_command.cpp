// batch_command.cpp -- gloamer batch: a catalogue rendered item by item, shared among the tasks of a cluster job.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "host/audio/audio_track.h"
#include "host/analysis/spectrum_shaper.h"
#include "host/batch/batch_run.h"
#include "host/batch/batch_child.h"
#include "host/batch/cluster_job.h"
#include "host/commands/command_line.h"
#include "host/commands/encoding_options.h"
#include "host/process/host_error.h"
#include "host/logo/logo_picture.h"
#include "host/offline/part_plan.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

namespace fs = std::filesystem;

struct BatchOptions {
    std::string list;
    std::string folder;
    std::string format = "mp4";
    std::string size = "1280x720";
    int fps = 30;
    double start = 0;
    double duration = 0;
    EncodingOptions encoding; // as render takes them, and passed on to each render
    SpectrumShaping shaping;
    std::string shard;
    int shards = 0;
    bool status = false;
    bool json = false;
    std::string emit;
    int throttle = 0;
    int cpusPerTask = 1;
    int gpusPerTask = 0; // Slurm
    std::string gres;    // Slurm
    int gpus = 0;        // Kubernetes
    double speed = 0;
    std::string image;
    std::string claim = "gloamer-catalogue";
    int retries = 2;
    std::string jobName = "gloamer-batch";
    int parts = 0;
    double partLength = 0;
    bool joinOnly = false;
    double itemTimeout = 0;
    double readTimeout = 0; // render's --timeout, passed on when given
    bool overwrite = false;
    double claimTimeout = defaultClaimExpirySeconds;
    std::string gpu = "auto"; // render's --gpu, passed on when not auto
};

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The options of a batch that are not render options but that every task of an emitted job needs too.
std::vector<std::string> taskArgs(const BatchOptions& options)
{
    std::vector<std::string> args;
    if (options.parts > 0)
        args.insert(args.end(), {"--parts", std::to_string(options.parts)});
    if (options.partLength > 0)
        args.insert(args.end(), {"--part-length", number(options.partLength)});
    if (options.itemTimeout > 0)
        args.insert(args.end(), {"--item-timeout", number(options.itemTimeout)});
    if (options.readTimeout > 0)
        args.insert(args.end(), {"--timeout", number(options.readTimeout)});
    if (options.overwrite)
        args.push_back("--overwrite");
    if (options.claimTimeout != defaultClaimExpirySeconds)
        args.insert(args.end(), {"--claim-timeout", number(options.claimTimeout)});
    if (options.gpu != "auto")
        args.push_back("--gpu=" + options.gpu);
    return args;
}

std::string absolute(const std::string& path)
{
    return fs::absolute(path).lexically_normal().string();
}

// The render options every item gets, complete and in one order, so that the records can compare them. The
// span is kept apart for the speed measurement, which renders a span of its own.
std::vector<std::string> pictureArgs(const BatchOptions& options, const CommonOptions& common)
{
    std::vector<std::string> args = {"--size", options.size, "--fps", std::to_string(options.fps)};
    const std::vector<std::string> codec = codecArguments(options.encoding);
    args.insert(args.end(), codec.begin(), codec.end());
    args.insert(args.end(), {"--sensitivity", number(options.shaping.sensitivity)});
    // A chosen --crf, or the --quality it would be, whose ceiling follows the size.
    const std::vector<std::string> quality = qualityArguments(options.encoding.quality);
    args.insert(args.end(), quality.begin(), quality.end());
    if (options.shaping.calm)
        args.push_back("--calm");
    if (options.shaping.autoGain)
        args.push_back("--auto-sensitivity");
    if (!common.pluginPath.empty())
        args.insert(args.end(), {"--plugin", absolute(common.pluginPath)});
    const LogoChoice& logo = common.logo;
    if (!logo.picture.empty())
        args.insert(args.end(), {"--logo", logo.picture == "cover" ? logo.picture : absolute(logo.picture),
                                 "--logo-size", std::to_string(logo.size)});
    return args;
}

std::vector<std::string> spanArgs(const BatchOptions& options)
{
    std::vector<std::string> args;
    if (options.start > 0)
        args.insert(args.end(), {"--start", number(options.start)});
    if (options.duration > 0)
        args.insert(args.end(), {"--duration", number(options.duration)});
    return args;
}

// GPU requests are the cluster's: each goes with the emitter whose job can carry it.
void checkGpuOptions(const BatchOptions& options)
{
    if ((options.gpusPerTask > 0 || !options.gres.empty()) && options.emit != "slurm")
        throw UsageError(std::string(options.gpusPerTask > 0 ? "--gpus-per-task" : "--gres") +
                         " asks Slurm for GPUs: it goes with --emit slurm (an Indexed Job takes --gpus N)");
    if (options.gpus > 0 && options.emit != "kubernetes")
        throw UsageError("--gpus asks Kubernetes for GPUs: it goes with --emit kubernetes (a Slurm job takes "
                         "--gpus-per-task N or --gres SPEC)");
}

// The folder the claim is mounted at: the deepest that holds both the list and the output folder, so that each
// task sees the paths it is given.
std::string claimMountPath(const std::string& listPath, const std::string& folderPath)
{
    fs::path list(listPath), folder(folderPath), common;
    for (auto a = list.begin(), b = folder.begin(); a != list.end() && b != folder.end() && *a == *b; ++a, ++b)
        common /= *a;
    if (common.empty() || common == common.root_path())
        throw HostError("the list and the output folder share no folder below / to mount in the job");
    if (common == list)
        common = list.parent_path();
    return common.string();
}

int emitKubernetesJob(ClusterJob& job, const BatchOptions& options)
{
    if (options.image.empty())
        throw HostError("--emit kubernetes needs --image NAME: the container image that holds gloamer");
    job.program = "gloamer";
    job.image = options.image;
    job.claim = options.claim;
    job.mountPath = claimMountPath(job.list, job.folder);
    job.retries = options.retries;
    std::fputs(kubernetesJob(job).c_str(), stdout);
    return 0;
}

// Seconds of music a task renders a second: --speed, or measured on 2 s of the first item that is a file.
double renderSpeed(const BatchOptions& options, const std::vector<BatchItem>& items,
                   const std::vector<std::string>& measureArgs)
{
    if (options.speed > 0)
        return options.speed;
    // A stream, pipe or device is no sample: it may wait for ever for a writer, or never end.
    auto sample = std::find_if(items.begin(), items.end(), [](const BatchItem& item) {
        return item.problem.empty() && !readsAsStream(item.input);
    });
    if (sample == items.end())
        throw HostError("no item of the list is a file that can be rendered to measure the speed (give --speed X)");
    const double speed = measureSpeed(sample->input, measureArgs, options.format, 2.0);
    std::fprintf(stderr, "gloamer: measured %.3g seconds of music a second on %s at %s\n", speed,
                 sample->name.c_str(), options.size.c_str());
    return speed;
}

int emitSlurmJob(ClusterJob& job, const BatchOptions& options, const std::vector<BatchItem>& items,
                 const std::vector<WorkUnit>& units, const std::vector<std::string>& measureArgs)
{
    job.program = ownProgramPath();
    checkSlurmJob(job); // before the speed is measured: what the script cannot hold is refused at once
    const double speed = renderSpeed(options, items, measureArgs);
    // A stream of unknown length is counted as ten minutes. A part is its share of the item and the warm-up
    // frames it draws before it.
    const std::vector<double> seconds = itemDurations(items, options.start, options.duration, 600);
    const double warmup = (double)defaultWarmupFrames / options.fps;
    std::vector<double> unitSeconds;
    for (const WorkUnit& unit : units)
        unitSeconds.push_back(unit.count > 1 ? seconds[unit.item] / unit.count + warmup : seconds[unit.item]);
    job.timeLimitSeconds = timeLimitFor(unitSeconds, job.tasks, speed);
    // A join copies the pictures and encodes the music once: counted at 20 s of music a second.
    job.joinTimeLimitSeconds = timeLimitFor(seconds, 1, 20.0);
    std::fputs(slurmScript(job).c_str(), stdout);
    return 0;
}

int emitJob(const BatchOptions& options, const BatchJob& batch, const std::vector<std::string>& measureArgs)
{
    const std::vector<BatchItem> items = batchItems(batch);
    const std::vector<WorkUnit> units = batchUnits(batch, items);
    ClusterJob job;
    job.list = batch.list;
    job.folder = batch.folder;
    job.batchArgs = batch.renderArgs;
    job.batchArgs.insert(job.batchArgs.end(), {"--format", options.format});
    const std::vector<std::string> more = taskArgs(options);
    job.batchArgs.insert(job.batchArgs.end(), more.begin(), more.end());
    job.joins = units.size() > items.size();
    job.tasks = taskCount(units.size(), options.shards);
    job.throttle = options.throttle;
    job.cpusPerTask = options.cpusPerTask;
    job.gpus = options.emit == "kubernetes" ? options.gpus : options.gpusPerTask;
    job.gres = options.gres;
    job.name = options.jobName;
    if (options.emit == "kubernetes")
        return emitKubernetesJob(job, options);
    return emitSlurmJob(job, options, items, units, measureArgs);
}

int runBatchCommand(const BatchOptions& options, const CommonOptions& common)
{
    BatchJob job;
    job.list = absolute(options.list);
    job.folder = absolute(options.folder);
    job.extension = options.format;
    job.renderArgs = pictureArgs(options, common);
    const std::vector<std::string> measureArgs = job.renderArgs;
    const std::vector<std::string> span = spanArgs(options);
    job.renderArgs.insert(job.renderArgs.end(), span.begin(), span.end());
    if (options.readTimeout > 0)
        job.childArgs = {"--timeout", number(options.readTimeout)};
    // The device draws the same pictures, so it is not recorded with the render options.
    if (options.gpu != "auto")
        job.childArgs.push_back("--gpu=" + options.gpu);
    job.joinArgs = {"--audio-bitrate", std::to_string(options.encoding.audioKbps)};
    job.split = PartSplit{options.parts, options.partLength, options.fps, keyframeInterval(options.fps)};
    job.start = options.start;
    job.duration = options.duration;
    job.itemTimeout = options.itemTimeout;
    job.joinOnly = options.joinOnly;
    job.overwrite = options.overwrite;
    job.claimExpirySeconds = options.claimTimeout;
    if (options.joinOnly && !job.split.splits()) {
        std::fprintf(stderr, "gloamer: --join-only joins parts: give the --parts or --part-length the tasks had\n");
        return 2;
    }
    checkGpuOptions(options);
    if (!options.emit.empty())
        return emitJob(options, job, measureArgs);
    try {
        job.shard = chooseShard(options.shard, options.shards, [](const char* name) { return std::getenv(name); });
    } catch (const HostError& error) {
        std::fprintf(stderr, "gloamer: %s (see gloamer batch --help)\n", error.what());
        return 2;
    }
    if (options.status || options.json)
        return printBatchStatus(job, options.json);
    return runBatch(job);
}

// What each item's render is given: the list, where the videos go, and render's own options.
void addItemOptions(CLI::App& batch, BatchOptions& options, CommonOptions& common)
{
    batch.add_option("LIST", options.list,
                     "A text file with one file or URL a line (# comments; paths from the list's folder), or a "
                     "folder, whose music and video files are taken recursively")
        ->required()
        ->check(CLI::ExistingPath)
        ->type_name("");
    batch.add_option("-o,--output", options.folder, "The folder the videos go to, each under its input's name")
        ->required()
        ->type_name("DIR");
    batch.add_option("--format", options.format, "The videos' container")
        ->check(CLI::IsMember({"mp4", "mkv", "mov"}))
        ->capture_default_str();
    addSizeOption(batch, options.size);
    addFpsOption(batch, options.fps);
    addSpanOptions(batch, options.start, options.duration, "Render");
    addEncodingOptions(batch, options.encoding);
    addShapingOptions(batch, options.shaping);
    addPluginOption(batch, common);
    addLogoOptions(batch, common, true);
}

// Which items this task takes, how each is cut in parts, and how long a render or a claim may last.
void addTaskOptions(CLI::App& batch, BatchOptions& options)
{
    batch.add_option("--shard", options.shard, "Take items I, I+N, I+2N... (I from 0) of the list")
        ->type_name("I/N")
        ->check(CLI::Validator(
            [](std::string& text) {
                int index = 0, count = 0;
                return parseShard(text, index, count) ? "" : "'" + text + "' is not a share I/N with 0 <= I < N";
            },
            ""));
    batch.add_option("--shards", options.shards,
                     "How many tasks share the list: with JOB_COMPLETION_INDEX, or the size of an emitted job")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    auto* parts = batch.add_option("--parts", options.parts,
                                   "Cut every input in N parts (whole keyframe intervals, fewer for a short one), "
                                   "each rendered as an item of its own and joined when all are done")
                      ->check(CLI::Range(2, 100000))
                      ->type_name("N");
    batch.add_option("--part-length", options.partLength,
                     "Cut every input in parts of about this length, cut on keyframe boundaries (see --parts)")
        ->check(positiveNumber(false))
        ->type_name("SECONDS")
        ->excludes(parts);
    batch.add_flag("--join-only", options.joinOnly,
                   "Render nothing: join every input whose parts are all done (what an emitted job's join step "
                   "runs)");
    batch.add_option("--item-timeout", options.itemTimeout,
                     "Stop an item's render (SIGTERM, SIGKILL 5 s later) that takes longer than this; it fails "
                     "and the batch goes on (default: no limit)")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
    batch.add_option("--timeout", options.readTimeout,
                     "Passed on to each render: give up on an input that sends no data for this many seconds "
                     "(render's default: 30)")
        ->check(positiveNumber(false))
        ->type_name("SECONDS");
}

// What a rerun may replace and take over, the device each render draws on, and the report instead of a run.
void addRerunOptions(CLI::App& batch, BatchOptions& options)
{
    batch.add_flag("-y,--overwrite", options.overwrite,
                   "Replace a regular file at DIR/NAME that no record of the batch vouches for (a FIFO, device, "
                   "link or folder is never replaced, nor an item's own input)");
    batch.add_option("--claim-timeout", options.claimTimeout,
                     "Take over an item claimed by a task of another machine after this long (one of this machine "
                     "is taken over as soon as its process has ended)")
        ->check(positiveNumber(false))
        ->type_name("SECONDS")
        ->capture_default_str();
    addGpuOption(batch, options.gpu); // passed on to each render
    batch.add_flag("--status", options.status, "Print what is done, failed (and why) and pending; render nothing");
    batch.add_flag("--json", options.json, "The same as --status, as JSON");
}

// The emitted Indexed Job's image, claim and tries, and either job's name.
void addKubernetesJobOptions(CLI::App& batch, BatchOptions& options)
{
    batch.add_option("--image", options.image, "Emitted Kubernetes job: the container image holding gloamer")
        ->type_name("NAME");
    batch.add_option("--claim", options.claim,
                     "Emitted Kubernetes job: the PersistentVolumeClaim holding the list and DIR, mounted at the "
                     "folder they share here")
        ->type_name("NAME")
        ->capture_default_str();
    batch.add_option("--retries", options.retries, "Emitted Kubernetes job: tries again per index")
        ->check(CLI::Range(0, 100))
        ->type_name("N")
        ->capture_default_str();
    batch.add_option("--job-name", options.jobName, "Emitted job: its name")
        ->check(CLI::Validator(
            [](std::string& name) {
                bool fine = !name.empty() && name.size() <= 63 && name.front() != '-' && name.back() != '-' &&
                            name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") == std::string::npos;
                return fine ? "" : "'" + name + "' is not a job name (a-z, 0-9 and -, at most 63)";
            },
            ""))
        ->capture_default_str();
}

// --emit and what the emitted job asks of its cluster.
void addClusterJobOptions(CLI::App& batch, BatchOptions& options)
{
    batch.add_option("--emit", options.emit,
                     "Print a job for a cluster instead: an sbatch script (run it with bash) or an Indexed Job")
        ->check(CLI::IsMember({"slurm", "kubernetes"}))
        ->type_name("slurm|kubernetes");
    batch.add_option("--throttle", options.throttle, "Emitted job: at most N tasks at once")
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    batch.add_option("--cpus-per-task", options.cpusPerTask, "Emitted job: CPUs each task asks for")
        ->check(CLI::Range(1, 1024))
        ->type_name("N")
        ->capture_default_str();
    batch.add_option("--gpus-per-task", options.gpusPerTask,
                     "Emitted Slurm job: GPUs each task asks for (each array task is given its own)")
        ->check(CLI::Range(1, 64))
        ->type_name("N");
    batch.add_option("--gres", options.gres, "Emitted Slurm job: a generic resource each task asks for, as sbatch "
                                             "--gres takes it (gpu:1, gpu:a100:2)")
        ->check(CLI::Validator(
            [](std::string& spec) {
                bool fine = !spec.empty() && spec.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                    "0123456789_.:,+-") == std::string::npos;
                return fine ? "" : "'" + spec + "' is not a generic resource like gpu:1 or gpu:a100:2";
            },
            ""))
        ->type_name("SPEC");
    batch.add_option("--gpus", options.gpus,
                     "Emitted Kubernetes job: NVIDIA GPUs each pod asks for (the nvidia.com/gpu limit, with the "
                     "driver's graphics capability for drawing)")
        ->check(CLI::Range(1, 64))
        ->type_name("N");
    batch.add_option("--speed", options.speed,
                     "Emitted Slurm job: seconds of music a task renders a second, for the time limit "
                     "(default: measured on 2 s of the first item)")
        ->check(positiveNumber(false))
        ->type_name("X");
    addKubernetesJobOptions(batch, options);
}

constexpr const char* batchFooter =
    "Each item renders in a process of its own to a temporary name, then moves to DIR/NAME.FORMAT, and a record "
    "in DIR/.gloamer-batch/records says it is done. A rerun skips done items and renders the rest again.\n"
    "A file at DIR/NAME.FORMAT that no record vouches for is left alone and its item fails (--overwrite replaces "
    "a regular file; a FIFO, device, link or an item's own input never). Each item is claimed first, so two "
    "batches over one DIR never render the same item.\n"
    "Which items a task takes: --shard I/N; else, in a Slurm job array, SLURM_ARRAY_TASK_ID minus "
    "SLURM_ARRAY_TASK_MIN of SLURM_ARRAY_TASK_COUNT tasks; else, in a Kubernetes Indexed Job, "
    "JOB_COMPLETION_INDEX of --shards N; else all. Task I of N takes items I, I+N, I+2N...\n"
    "With --parts or --part-length each part renders to DIR/.gloamer-batch/parts as an item of its own; a task "
    "that takes every item (no shard) then joins each input's parts into DIR/NAME.FORMAT and removes them; "
    "an emitted job joins in a step of its own after the render tasks (--join-only).\n"
    "Exit status: 0 all done, 1 any failed or claimed by another task, 2 wrong command line, 130 stopped by Ctrl-C (what finished is kept).";

} // namespace

void addBatchCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<BatchOptions>();
    CLI::App* batch = app.add_subcommand("batch", "Render every file of a list or a folder to its own video in DIR");
    addItemOptions(*batch, *options, commandLine.common);
    addTaskOptions(*batch, *options);
    addRerunOptions(*batch, *options);
    addClusterJobOptions(*batch, *options);
    batch->footer(batchFooter);
    batch->callback([&commandLine, options] {
        // The renders encode here, unless the batch only emits a job for other machines, joins, or reports.
        const bool rendersHere = options->emit.empty() && !options->joinOnly && !options->status && !options->json;
        checkEncodingOptions(options->encoding, rendersHere);
        commandLine.action = [&commandLine, options] { return runBatchCommand(*options, commandLine.common); };
    });
}

} // namespace gloamer
