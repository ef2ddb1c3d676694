// fake_launcher.h -- a ChildLauncher that starts nothing: it keeps the request and says the child ended as told.
#pragma once

#include <optional>

#include "host/process/child_process.h"

namespace testproc {

class FakeLauncher : public gloamer::ChildLauncher {
public:
    explicit FakeLauncher(gloamer::ChildEnd end) : end_(std::move(end)) {}

    gloamer::ChildEnd run(const gloamer::ChildRequest& request) override
    {
        timeLimit = request.timeLimit;
        passesOnStops = request.passOnStopRequest;
        deathSignal = request.deathSignal;
        return end_;
    }

    double timeLimit = -1;
    bool passesOnStops = false;
    int deathSignal = 0;

private:
    gloamer::ChildEnd end_;
};

} // namespace testproc
