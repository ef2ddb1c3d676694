// picture_sequence.cpp -- numbered PNG files, one per frame, each written under a temporary name and renamed whole.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/process/output_checks.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

// A failed or stopped sequence keeps the pictures already renamed into place, each whole; the one being
// written when it ended goes with its temporary.
class PictureSequence : public FrameSink {
public:
    PictureSequence(const std::string& pattern, const VideoFormat& format) : pattern_(pattern), format_(format) {}
    void writeFrame(const uint8_t* rgb) override;
    void finish() override {}
    void abandon() override {}

private:
    std::string pattern_;
    VideoFormat format_;
    int next_ = 1;
};

void PictureSequence::writeFrame(const uint8_t* rgb)
{
    std::vector<uint8_t> png = encodePng(rgb, format_.width, format_.height);
    PendingFile file(pictureName(pattern_, next_), format_.replace);
    FILE* stream = fopen(file.path().c_str(), "wb");
    bool written = stream && fwrite(png.data(), 1, png.size(), stream) == png.size();
    int error = errno;
    if (stream && fclose(stream) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        throw HostError("cannot write '" + file.target() + "': " + std::strerror(error ? error : EIO));
    file.commit();
    ++next_;
}

} // namespace

std::unique_ptr<FrameSink> openPictureSequence(const std::string& pattern, const VideoFormat& format)
{
    if (!isPictureSequence(pattern))
        throw HostError("'" + pattern + "' is not a picture pattern like DIR/%05d.png");
    return std::make_unique<PictureSequence>(pattern, format);
}

} // namespace gloamer
