// plugin_session.cpp -- drives init, render and quit in the order a player does.
#include "host/core/plugin_session.h"

#include "host/process/host_error.h"

namespace gloamer {

PluginSession::PluginSession(PluginLibrary& library, HostWindow& host, int sampleRate, int channelCount)
    : PluginSession(*library.module(), (HINSTANCE)library.handle(), library.path(), host, sampleRate, channelCount)
{
}

PluginSession::PluginSession(VisModule& module, HINSTANCE instance, const std::string& name, HostWindow& host,
                             int sampleRate, int channelCount)
    : module_(&module)
{
    module_->parentWindow = host.handle();
    module_->libraryInstance = instance;
    module_->sampleRate = sampleRate;
    module_->channelCount = channelCount;
    if (module_->init(module_) != 0)
        throw HostError("the plug-in '" + name + "' failed to start (it has said why)");
    running_ = true;
}

PluginSession::~PluginSession()
{
    quit();
}

int PluginSession::render()
{
    return running_ ? module_->render(module_) : 0;
}

void PluginSession::quit()
{
    if (!running_)
        return;
    running_ = false;
    module_->quit(module_);
}

} // namespace gloamer
