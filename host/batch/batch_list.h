// batch_list.h -- what a batch renders: the inputs a list file or a folder names, each with its output's name.
#pragma once

#include <string>
#include <vector>

namespace gloamer {

struct BatchItem {
    std::string input;   // a path (from the list's folder when the list gave it relative) or a URL
    std::string name;    // the output's path under the batch's folder, with the output's extension
    std::string problem; // why it cannot be rendered (missing, a folder, named twice); empty when it can
};

// The items of `list`: a text file with one input a line (blank lines and lines starting with # skipped), or a
// folder, whose audio and video files are taken recursively in sorted order with their relative paths mirrored
// in the names. Every output name ends in `.extension`; inputs that would share one get "-2", "-3"... in list
// order. Nothing under `outputFolder` or any batch's own folder is taken from a folder. An entry beginning with
// `-` is an item with a problem, never an option. Throws HostError when the list itself cannot be read or is
// neither a regular file nor a folder, StopRequested at Ctrl-C or SIGTERM.
std::vector<BatchItem> readBatchList(const std::string& list, const std::string& extension,
                                     const std::string& outputFolder);

} // namespace gloamer
