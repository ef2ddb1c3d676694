// slurm_script.cpp -- the sbatch script of a cluster job, every value quoted for the place it lands in it.
#include <cstdio>

#include "host/batch/cluster_job.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

std::string clock(int64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld-%02lld:%02lld:00", (long long)(seconds / 86400),
                  (long long)(seconds / 3600 % 24), (long long)(seconds / 60 % 60));
    return text;
}

bool hasControlCharacter(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

std::string shellLine(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + shellQuoted(word);
    return line;
}

// Slurm reads a log's name as a pattern (%A, %a, %j); `%%` stands for a `%` of the folder's own name.
std::string logPattern(const ClusterJob& job, const std::string& file)
{
    std::string pattern;
    for (char c : job.folder)
        pattern += c == '%' ? std::string("%%") : std::string(1, c);
    return pattern + "/.gloamer-batch/logs/" + file;
}

std::string directives(const ClusterJob& job)
{
    std::string array = "0-" + std::to_string(job.tasks - 1);
    if (job.throttle > 0)
        array += "%" + std::to_string(job.throttle);
    std::string lines = "#SBATCH --job-name=" + job.name + "\n"
                        "#SBATCH --array=" + array + "\n"
                        "#SBATCH --ntasks=1\n"
                        "#SBATCH --cpus-per-task=" + std::to_string(job.cpusPerTask) + "\n";
    // Each array task is a job of its own: the GPUs it asks for are its alone, and Slurm hands them to it alone.
    if (job.gpus > 0)
        lines += "#SBATCH --gpus-per-task=" + std::to_string(job.gpus) + "\n";
    if (!job.gres.empty())
        lines += "#SBATCH --gres=" + directiveQuoted(job.gres) + "\n";
    return lines + "#SBATCH --time=" + clock(job.timeLimitSeconds) + "\n"
                   "#SBATCH --output=" + directiveQuoted(logPattern(job, "%A_%a.log")) + "\n";
}

// Outside a job: the log folder first (Slurm ends a job whose log folder is missing at once), then the array, and
// with joins the join step. The join starts when every array task has ended, however it ended (afterany): with
// afterok one bad file anywhere in the catalogue would keep every input from being joined. It joins only inputs
// whose every part the records call done (each record checked against its part's video), refuses the rest with
// their reasons, and gloamer join itself refuses parts that do not make one render; so a failed part never makes
// a video.
std::string submission(const ClusterJob& job)
{
    std::string lines = "if [ -z \"${SLURM_JOB_ID:-}\" ]; then\n"
                        "  mkdir -p -- " + shellQuoted(job.folder + "/.gloamer-batch/logs") + " || exit 1\n";
    if (!job.joins)
        return lines + "  exec sbatch \"$@\" \"$0\"\nfi\n";
    // The join's script is sbatch's own (/bin/sh); its log's name is a pattern as the directive's is.
    const std::string join = "exec " + shellLine(taskCommand(job, true));
    return lines + "  array=$(sbatch --parsable \"$@\" \"$0\") || exit 1\n"
                   "  echo \"Submitted batch job ${array%%;*}\"\n"
                   "  exec sbatch \"$@\" --dependency=afterany:\"${array%%;*}\" --job-name=" + job.name + "-join "
                   "--ntasks=1 --cpus-per-task=1 --time=" + clock(job.joinTimeLimitSeconds) +
                   " --output=" + shellQuoted(logPattern(job, "%j_join.log")) + " \\\n"
                   "    --wrap=" + shellQuoted(join) + "\n"
                   "fi\n";
}

} // namespace

std::string shellQuoted(const std::string& text)
{
    if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "-_./:%+,") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string directiveQuoted(const std::string& text)
{
    // Within double quotes sbatch takes spaces, `#` and `'` as they are and a backslash escapes the next character.
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

void checkSlurmJob(const ClusterJob& job)
{
    if (job.name.empty() || job.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos)
        throw UsageError("--emit slurm: " + printableName(job.name) + " cannot name a job (a-z, 0-9 and -)");
    if (hasControlCharacter(job.folder))
        throw UsageError("--emit slurm: the output folder " + printableName(job.folder) +
                         " holds a control character (a line break, say) that no #SBATCH line can hold; "
                         "choose a folder without one");
    // A backslash in a log's name makes Slurm take the whole name literally: every task would write one log.
    if (job.folder.find('\\') != std::string::npos)
        throw UsageError("--emit slurm: the output folder " + printableName(job.folder) +
                         " holds a backslash, with which Slurm reads the log's name literally; "
                         "choose a folder without one");
    if (hasControlCharacter(job.gres))
        throw UsageError("--emit slurm: --gres " + printableName(job.gres) +
                         " holds a control character that no #SBATCH line can hold");
}

std::string slurmScript(const ClusterJob& job)
{
    checkSlurmJob(job);
    // Comments name no value: a line break in one would end the comment and run the rest.
    std::string script =
        "#!/bin/bash\n"
        "# " + job.name + ": renders the catalogue named on the last line, one share of it per array task.\n"
        "# Submit it with bash, which makes the log folder first (Slurm ends a job whose log folder is missing at\n"
        "# once):  bash THIS-FILE [more sbatch options]\n"
        "# Finished videos are kept; submitting again renders only what is missing or failed.\n" +
        std::string(job.joins ? "# The inputs are cut in parts; a second job, once the array has ended, joins each\n"
                                "# input whose parts are all done into its video (and fails those with a failed part).\n"
                              : "") +
        directives(job) + submission(job);
    for (const auto& [name, value] : taskEnvironment(job, false))
        script += "export " + name + "=" + shellQuoted(value) + "\n";
    return script + "exec " + shellLine(taskCommand(job, false)) + "\n";
}

} // namespace gloamer
