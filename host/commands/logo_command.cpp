// logo_command.cpp -- `gloamer logo PICTURE -o vis_gloamer.bmp`: a logo for the plug-in wherever it is installed.
#include <cstdio>
#include <fstream>
#include <memory>

#include "host/commands/command_line.h"
#include "host/process/host_error.h"
#include "host/logo/logo_picture.h"
#include "host/process/pending_file.h"
#include "host/video/output.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

struct LogoOptions {
    std::string picture;
    std::string output;
    int size = defaultLogoSize;
    bool overwrite = false;
};

int runLogo(const LogoOptions& options)
{
    checkOutputFile(options.output, options.overwrite, {options.picture});
    const std::string bitmap = logoBitmapFromPicture(options.picture, options.size);
    // Whole or not at all: a player never finds half a logo.
    PendingFile pending(options.output, options.overwrite);
    {
        std::ofstream out(pending.path(), std::ios::binary);
        if (!(out << bitmap) || !out.flush())
            throw HostError("cannot write '" + options.output + "': the disk is full or failing");
    }
    // Ctrl-C while the picture was read: nothing is left, as after any stopped command.
    if (interruptRequested())
        throw StopRequested();
    pending.commit();
    return 0;
}

} // namespace

void addLogoCommand(CLI::App& app, CommandLine& commandLine)
{
    auto options = std::make_shared<LogoOptions>();
    CLI::App* logo = app.add_subcommand(
        "logo", "Turn a picture into the vis_gloamer.bmp logo the plug-in reads from beside its library");
    logo->add_option("PICTURE", options->picture, "PNG, JPEG, WebP, BMP, GIF... (any still FFmpeg reads)")
        ->required()
        ->type_name("");
    logo->add_option("-o,--output", options->output, "The bitmap to write, usually vis_gloamer.bmp")
        ->required()
        ->type_name("BMP");
    logo->add_option("--logo-size", options->size, "Fit the picture into an N x N square (16 to 1024)")
        ->check(numberBetween(smallestLogoSize, largestLogoSize, true))
        ->type_name("N")
        ->capture_default_str();
    logo->add_flag("-y,--overwrite", options->overwrite, "Replace an existing output");
    addTimeoutOption(*logo);
    logo->footer("Black in the picture is see-through, as in the plug-in's own logo. Copy the result beside the "
                 "plug-in's library (vis_gloamer.dll or vis_gloamer.so).");
    logo->callback([&commandLine, options] { commandLine.action = [options] { return runLogo(*options); }; });
}

} // namespace gloamer
