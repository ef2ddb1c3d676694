// cluster_job.cpp -- the texts of a cluster job: the array's size and time, the sbatch script, the Indexed Job.
#include "host/batch/cluster_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/batch/batch_record.h"

namespace gloamer {

namespace {

std::string clock(int64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld-%02lld:%02lld:00", (long long)(seconds / 86400),
                  (long long)(seconds / 3600 % 24), (long long)(seconds / 60 % 60));
    return text;
}

std::string shellCommand(const ClusterJob& job, bool join)
{
    std::string command = shellQuoted(job.program) + " batch " + shellQuoted(job.list) + " -o " +
                          shellQuoted(job.folder);
    for (const std::string& argument : job.batchArgs)
        command += " " + shellQuoted(argument);
    return join ? command + " --join-only" : command;
}

// The pod of a render task (the share of its index) or of the join step.
std::string podTemplate(const ClusterJob& job, bool join);

} // namespace

std::string shellQuoted(const std::string& text)
{
    if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "-_./=:%+,") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int taskCount(size_t items, int shards)
{
    size_t wanted = shards > 0 ? (size_t)shards : items;
    return (int)std::max<size_t>(1, std::min({wanted, std::max<size_t>(items, 1), (size_t)largestArray}));
}

int64_t timeLimitFor(const std::vector<double>& itemSeconds, int tasks, double speed)
{
    std::vector<double> share((size_t)std::max(tasks, 1), 0.0);
    for (size_t i = 0; i < itemSeconds.size(); ++i)
        share[i % share.size()] += itemSeconds[i];
    double longest = *std::max_element(share.begin(), share.end());
    double seconds = longest / std::max(speed, 1e-6) * 1.5 + 300;
    return (int64_t)std::ceil(seconds / 60) * 60;
}

std::string slurmScript(const ClusterJob& job)
{
    const std::string logs = job.folder + "/.gloamer-batch/logs";
    std::string array = "0-" + std::to_string(job.tasks - 1);
    if (job.throttle > 0)
        array += "%" + std::to_string(job.throttle);
    // The join step starts when every array task has ended, however it ended (afterany): with afterok one bad file
    // anywhere in the catalogue would keep every input from being joined. It joins only inputs whose every part
    // the records call done (each record checked against its part's video), refuses the rest with their reasons,
    // and gloamer join itself refuses parts that do not make one render; so a failed part never makes a video.
    const std::string submit =
        job.joins ? "  array=$(sbatch --parsable \"$@\" \"$0\") || exit 1\n"
                    "  echo \"Submitted batch job ${array%%;*}\"\n"
                    "  exec sbatch \"$@\" --dependency=afterany:\"${array%%;*}\" --job-name=" + job.name + "-join "
                    "--ntasks=1 --cpus-per-task=1 --time=" + clock(job.joinTimeLimitSeconds) +
                    " --output=" + shellQuoted(logs + "/%j_join.log") + " \\\n"
                    "    --wrap=" + shellQuoted("exec " + shellCommand(job, true)) + "\n"
                  : "  exec sbatch \"$@\" \"$0\"\n";
    std::string script =
        "#!/bin/bash\n"
        "# " + job.name + ": renders the catalogue " + job.list + " into " + job.folder + ",\n"
        "# one share of it per array task. Submit it with bash, which makes the log folder first (Slurm ends a job\n"
        "# whose log folder is missing at once):  bash THIS-FILE [more sbatch options]\n"
        "# Finished videos are kept; submitting again renders only what is missing or failed.\n" +
        std::string(job.joins ? "# The inputs are cut in parts; a second job, once the array has ended, joins each\n"
                                "# input whose parts are all done into its video (and fails those with a failed part).\n"
                              : "") +
        "#SBATCH --job-name=" + job.name + "\n"
        "#SBATCH --array=" + array + "\n"
        "#SBATCH --ntasks=1\n"
        "#SBATCH --cpus-per-task=" + std::to_string(job.cpusPerTask) + "\n"
        "#SBATCH --time=" + clock(job.timeLimitSeconds) + "\n"
        "#SBATCH --output=" + logs + "/%A_%a.log\n"
        "if [ -z \"${SLURM_JOB_ID:-}\" ]; then\n"
        "  mkdir -p " + shellQuoted(logs) + " || exit 1\n" + submit +
        "fi\n"
        "# Mesa's software renderer draws with as many threads as the task has CPUs.\n"
        "export LP_NUM_THREADS=" + std::to_string(job.cpusPerTask) + "\n"
        "exec " + shellCommand(job, false) + "\n";
    return script;
}

std::string kubernetesJob(const ClusterJob& job)
{
    std::string yaml = "apiVersion: batch/v1\n"
                       "kind: Job\n"
                       "metadata:\n"
                       "  name: " + job.name + "\n"
                       "  labels:\n"
                       "    gloamer-step: render\n"
                       "spec:\n"
                       "  completionMode: Indexed\n"
                       "  completions: " + std::to_string(job.tasks) + "\n"
                       "  parallelism: " + std::to_string(job.throttle > 0 ? job.throttle : job.tasks) + "\n"
                       "  backoffLimitPerIndex: " + std::to_string(job.retries) + "\n" +
                       podTemplate(job, false);
    if (!job.joins)
        return yaml;
    // The join: one pod, after the render Job has finished (kubectl wait); it joins the inputs whose parts are
    // all done, and a retry (backoffLimit) finds what an earlier try joined already done.
    return yaml + "---\n"
                  "apiVersion: batch/v1\n"
                  "kind: Job\n"
                  "metadata:\n"
                  "  name: " + job.name.substr(0, 58) + "-join\n"
                  "  labels:\n"
                  "    gloamer-step: join\n"
                  "spec:\n"
                  "  completions: 1\n"
                  "  parallelism: 1\n"
                  "  backoffLimit: " + std::to_string(job.retries) + "\n" +
                  podTemplate(job, true);
}

namespace {

std::string podTemplate(const ClusterJob& job, bool join)
{
    std::string yaml = "  template:\n"
                       "    spec:\n"
                       "      restartPolicy: Never\n"
                       "      containers:\n"
                       "        - name: gloamer\n"
                       "          image: " + jsonString(job.image) + "\n"
                       "          command:\n";
    std::vector<std::string> command = {job.program, "batch", job.list, "-o", job.folder};
    if (join)
        command.push_back("--join-only");
    else
        command.insert(command.end(), {"--shards", std::to_string(job.tasks)});
    command.insert(command.end(), job.batchArgs.begin(), job.batchArgs.end());
    for (const std::string& argument : command)
        yaml += "            - " + jsonString(argument) + "\n";
    yaml += "          env:\n"
            "            - name: LP_NUM_THREADS\n"
            "              value: \"" + std::to_string(job.cpusPerTask) + "\"\n"
            "          resources:\n"
            "            requests:\n"
            "              cpu: \"" + std::to_string(job.cpusPerTask) + "\"\n"
            "          volumeMounts:\n"
            "            - name: catalogue\n"
            "              mountPath: " + jsonString(job.mountPath) + "\n"
            "      volumes:\n"
            "        - name: catalogue\n"
            "          persistentVolumeClaim:\n"
            "            claimName: " + jsonString(job.claim) + "\n";
    return yaml;
}

} // namespace

} // namespace gloamer
