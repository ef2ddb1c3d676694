// render_supervisor.h -- a render run in a child process, so that a plug-in that kills its process costs the
// render and not the video or the report of what happened.
#pragma once

#include <functional>
#include <string>

#include "host/video/output.h"

namespace gloamer {

class ChildLauncher;

// On Linux: forks; the child runs `render` (which loads the plug-in `plugin`) and ends with its status, and this
// process, which never loads the plug-in, waits for it. A child that ends otherwise (a crash, a signal, exit() or
// _exit() in the middle of the render) is reported in one line naming the plug-in and the cause, its temporaries
// are removed and what it had written of `output` is kept as a video (to its last whole fragment), as after
// Ctrl-C; the status is then 1, or 128 + the signal when it was a stop request. SIGTERM and SIGHUP are passed on
// to the child (a terminal's Ctrl-C reaches both), and the child dies with this process.
// On Windows the render runs in this process, under render_job.cpp's own exit and crash guard.
int superviseRender(const std::string& plugin, const OutputRequest& output, const std::function<int()>& render);
// The same with the child started by `launcher` (Linux only; a test's says how the child ended).
int superviseRenderWith(const std::string& plugin, const OutputRequest& output, const std::function<int()>& render,
                        ChildLauncher& launcher);

// True in the child of superviseRender.
bool supervised();
// In that child, async-signal-safe: the plug-in called exit() in the middle of the render; the output is whole
// at its name; and the status it ends with when it ends on its own.
void tellSupervisorOfExit();
void tellSupervisorOfOutput();
void tellSupervisorOfStatus(int status);

} // namespace gloamer
