// logo_folder.h -- a private folder holding a copy of the plug-in beside the logo it is to read, gone on every exit.
#pragma once

#include <memory>
#include <string>

#include "host/process/pending_file.h"

namespace gloamer {

// The plug-in reads vis_gloamer.bmp from beside its own library, and is not to change: so the host runs a copy
// of the library from a folder of its own, next to `bitmap`. The folder is removed by the destructor and, through
// removePendingFiles(), on a fatal signal.
class LogoFolder {
public:
    LogoFolder(const std::string& pluginPath, const std::string& bitmap);
    const std::string& pluginPath() const { return library_->path(); }

private:
    // Declared in the order they are made, so that they go in reverse: the files, then the folder.
    std::unique_ptr<TemporaryPath> folder_;
    std::unique_ptr<TemporaryPath> library_;
    std::unique_ptr<TemporaryPath> logo_;
};

} // namespace gloamer
