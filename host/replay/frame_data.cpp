// frame_data.cpp -- writes and reads frame data files, checking every header value before trusting it.
#include "host/replay/frame_data.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

const char magic[8] = {'G', 'L', 'M', 'F', 'R', 'A', 'M', 'E'};
constexpr uint32_t formatVersion = 1;

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void putWord(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = (uint8_t)(value >> (8 * i));
}

uint32_t getWord(const uint8_t* at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

} // namespace

FrameDataWriter::FrameDataWriter(const std::string& path, const FrameData& header, bool replace)
    : file_(std::make_unique<PendingFile>(path, replace))
{
    stream_ = fopen(file_->path().c_str(), "wb");
    if (!stream_)
        throw HostError("cannot write '" + path + "': " + strerror(errno));
    uint8_t bytes[frameDataHeaderBytes];
    memcpy(bytes, magic, sizeof(magic));
    putWord(bytes + 8, formatVersion);
    putWord(bytes + 12, header.fps);
    putWord(bytes + 16, 0); // set by finish()
    putWord(bytes + 20, header.sampleRate);
    putWord(bytes + 24, header.channelCount);
    putWord(bytes + 28, header.latencyMs);
    if (fwrite(bytes, sizeof(bytes), 1, stream_) != 1)
        fail();
}

FrameDataWriter::~FrameDataWriter()
{
    if (stream_)
        fclose(stream_);
}

void FrameDataWriter::fail()
{
    std::string reason = errno ? strerror(errno) : "the disk may be full";
    fclose(stream_);
    stream_ = nullptr;
    file_->discard(); // a cut-off file would only fail later, further from the cause
    throw HostError("cannot write '" + file_->target() + "': " + reason);
}

void FrameDataWriter::add(const FrameRecord& frame)
{
    uint8_t record[frameRecordBytes];
    putWord(record, frame.tick);
    memcpy(record + 4, frame.spectrum, sizeof(frame.spectrum));
    memcpy(record + 4 + sizeof(frame.spectrum), frame.waveform, sizeof(frame.waveform));
    if (fwrite(record, sizeof(record), 1, stream_) != 1)
        fail();
    ++frameCount_;
}

void FrameDataWriter::finish()
{
    if (frameCount_ == 0) {
        fclose(stream_);
        stream_ = nullptr;
        throw HostError("no frames to write to '" + file_->target() + "'");
    }
    uint8_t count[4];
    putWord(count, frameCount_);
    errno = 0;
    if (fseek(stream_, 16, SEEK_SET) != 0 || fwrite(count, sizeof(count), 1, stream_) != 1 || fflush(stream_) != 0)
        fail();
    FILE* stream = stream_;
    stream_ = nullptr;
    if (fclose(stream) != 0) {
        std::string reason = strerror(errno);
        file_->discard();
        throw HostError("cannot write '" + file_->target() + "': " + reason);
    }
    file_->commit();
}

void writeFrameData(const std::string& path, const FrameData& data)
{
    FrameDataWriter writer(path, data, true);
    for (const FrameRecord& frame : data.frames)
        writer.add(frame);
    writer.finish();
}

FrameData readFrameData(const std::string& path)
{
    File file(fopen(path.c_str(), "rb"));
    if (!file)
        throw HostError("cannot open frame data '" + path + "': " + strerror(errno));
    const std::string bad = "'" + path + "' is not a frame data file from gloamer analyse: ";
    uint8_t header[frameDataHeaderBytes];
    if (fread(header, sizeof(header), 1, file.get()) != 1 || memcmp(header, magic, sizeof(magic)) != 0)
        throw HostError(bad + "it does not start like one");
    if (getWord(header + 8) != formatVersion)
        throw HostError(bad + "it is of format version " + std::to_string(getWord(header + 8)) + ", not 1");
    FrameData data;
    data.fps = getWord(header + 12);
    uint32_t frameCount = getWord(header + 16);
    data.sampleRate = getWord(header + 20);
    data.channelCount = getWord(header + 24);
    data.latencyMs = getWord(header + 28);
    if (data.fps < 1 || data.fps > 240 || frameCount < 1 || data.channelCount > 2 || data.sampleRate > 1000000)
        throw HostError(bad + "its header holds values out of range");

    // Records are read one by one, so that a header claiming more frames than the file holds costs no memory.
    uint8_t record[frameRecordBytes];
    for (uint32_t index = 0; index < frameCount; ++index) {
        if (fread(record, sizeof(record), 1, file.get()) != 1)
            throw HostError(bad + "it is cut short after " + std::to_string(index) + " of its " +
                            std::to_string(frameCount) + " frames");
        FrameRecord& frame = data.frames.emplace_back();
        frame.tick = getWord(record);
        memcpy(frame.spectrum, record + 4, sizeof(frame.spectrum));
        memcpy(frame.waveform, record + 4 + sizeof(frame.spectrum), sizeof(frame.waveform));
    }
    if (fgetc(file.get()) != EOF)
        throw HostError(bad + "it goes on past its last frame");
    return data;
}

} // namespace gloamer
