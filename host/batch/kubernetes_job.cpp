// kubernetes_job.cpp -- the Indexed Job of a cluster job, written by a JSON emitter as documents of a YAML stream.
#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "host/batch/cluster_job.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

using OrderedJson = nlohmann::ordered_json;

OrderedJson container(const ClusterJob& job, bool join)
{
    OrderedJson environment = OrderedJson::array();
    for (const auto& [name, value] : taskEnvironment(job, join))
        environment.push_back({{"name", name}, {"value", value}});
    OrderedJson resources = {{"requests", {{"cpu", std::to_string(job.cpusPerTask)}}}};
    // An extended resource is asked for by its limit alone; the join copies pictures and needs no GPU.
    if (!join && job.gpus > 0)
        resources["limits"] = {{"nvidia.com/gpu", std::to_string(job.gpus)}};
    const std::vector<std::string> step = {"--shards", std::to_string(job.tasks)};
    return {{"name", "gloamer"},
            {"image", job.image},
            {"command", join ? taskCommand(job, true) : taskCommand(job, false, step)},
            {"env", environment},
            {"resources", resources},
            {"volumeMounts", OrderedJson::array({{{"name", "catalogue"}, {"mountPath", job.mountPath}}})}};
}

// The pod of a render task (the share of its index) or of the join step.
OrderedJson podTemplate(const ClusterJob& job, bool join)
{
    OrderedJson volume = {{"name", "catalogue"}, {"persistentVolumeClaim", {{"claimName", job.claim}}}};
    return {{"spec",
             {{"restartPolicy", "Never"},
              {"containers", OrderedJson::array({container(job, join)})},
              {"volumes", OrderedJson::array({volume})}}}};
}

OrderedJson renderJob(const ClusterJob& job)
{
    return {{"apiVersion", "batch/v1"},
            {"kind", "Job"},
            {"metadata", {{"name", job.name}, {"labels", {{"gloamer-step", "render"}}}}},
            {"spec",
             {{"completionMode", "Indexed"},
              {"completions", job.tasks},
              {"parallelism", job.throttle > 0 ? job.throttle : job.tasks},
              {"backoffLimitPerIndex", job.retries},
              {"template", podTemplate(job, false)}}}};
}

// One pod, after the render Job has finished (kubectl wait); it joins the inputs whose parts are all done, and a
// retry (backoffLimit) finds what an earlier try joined already done.
OrderedJson joinJob(const ClusterJob& job)
{
    return {{"apiVersion", "batch/v1"},
            {"kind", "Job"},
            {"metadata", {{"name", job.name.substr(0, 58) + "-join"}, {"labels", {{"gloamer-step", "join"}}}}},
            {"spec",
             {{"completions", 1},
              {"parallelism", 1},
              {"backoffLimit", job.retries},
              {"template", podTemplate(job, true)}}}};
}

// JSON text as YAML parsers read it back: the characters a YAML stream may not hold raw (DEL, C1 controls, the
// non-characters) or that YAML 1.1 takes for line breaks (U+0085, U+2028, U+2029) become \u escapes, which both
// languages read alike. They only occur inside strings, where an escape is what JSON allows anyway.
std::string yamlSafe(const std::string& json)
{
    std::string out;
    uint32_t codePoint = 0;
    for (size_t at = 0, length = 1; at < json.size(); at += length) {
        length = std::max<size_t>(utf8Sequence(json, at, codePoint), 1);
        if (codePoint == 0x7F || (codePoint >= 0x80 && codePoint < 0xA0) || codePoint == 0x2028 ||
            codePoint == 0x2029 || codePoint == 0xFEFF || codePoint == 0xFFFE || codePoint == 0xFFFF) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", (unsigned)codePoint);
            out += escaped;
        } else {
            out.append(json, at, length);
        }
    }
    return out;
}

std::string document(const OrderedJson& object)
{
    // Every document begins with "---", so that kubectl reads the file as YAML and takes both Jobs.
    return "---\n" + yamlSafe(object.dump(2)) + "\n";
}

} // namespace

void checkKubernetesJob(const ClusterJob& job)
{
    std::vector<std::pair<std::string, std::string>> values = {
        {"the list", job.list}, {"the output folder", job.folder}, {"the image", job.image},
        {"the claim", job.claim}, {"gloamer", job.program}, {"the job's name", job.name}};
    for (const std::string& option : job.batchArgs)
        values.emplace_back("an option's value", option);
    for (const auto& [what, value] : values)
        if (!isUtf8(value))
            throw UsageError("--emit kubernetes: " + what + " " + printableName(value) +
                             " is not UTF-8 text, which a Kubernetes manifest cannot hold; rename it");
}

std::string kubernetesJob(const ClusterJob& job)
{
    checkKubernetesJob(job);
    std::string manifest = document(renderJob(job));
    return job.joins ? manifest + document(joinJob(job)) : manifest;
}

} // namespace gloamer
