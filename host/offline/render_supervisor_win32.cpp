// render_supervisor_win32.cpp -- gloamer.exe has no supervisor: the render runs in its own process, and
// render_job.cpp's exit and crash guard reports a plug-in that ends it.
#include "host/offline/render_supervisor.h"

namespace gloamer {

int superviseRender(const std::string&, const OutputRequest&, const std::function<int()>& render)
{
    return render();
}

bool supervised()
{
    return false;
}

void tellSupervisorOfExit() {}

void tellSupervisorOfOutput() {}

void tellSupervisorOfStatus(int) {}

} // namespace gloamer
