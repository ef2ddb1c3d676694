// render_job.h -- the one way render, replay and gloamer.exe run a render job: stop requests, verdicts, status.
#pragma once

#include <memory>

#include "host/offline/offline_renderer.h"
#include "host/video/output.h"
#include "host/offline/progress.h"

namespace gloamer {

// Opens `output` (every check first), renders `job` into it with Ctrl-C as its stop request, showing progress
// unless `quiet`. The output is finished before the plug-in is quit and is never left half-written at its
// name: a failed write keeps the frames before it, a plug-in that crashes or ends the process mid-render
// leaves what was there before. Returns the exit status: 0 done, 1 the plug-in's render asked to stop
// (named in one line), 128 + the signal when interrupted; throws HostError for every other failure.
// `progressPath`, when not empty, also gets the progress as JSON lines (see progress_lines.h; checked by
// checkProgressFile, and replaced only under the output's --overwrite); lines lost to a failed write are said
// in one line and make the status 1, the video being whole.
// On Linux the job runs in a child process watched by this one (see render_supervisor.h); gloamer.exe runs it in
// its own process, whose exit and crash handlers name the plug-in.
int runRenderJob(RenderJob& job, const OutputRequest& output, bool quiet, const std::string& progressPath = "");

// "gloamer: the plug-in 'NAME' HOW in the middle of the render" (with `afterOutput`: "HOW as it was quit, after
// the output was whole"): the one wording of a plug-in that ended the process of a render.
std::string pluginEndLine(const std::string& plugin, const std::string& how, bool afterOutput = false);

} // namespace gloamer
