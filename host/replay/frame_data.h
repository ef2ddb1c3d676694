// frame_data.h -- the frame data file: what each frame of a render is fed, written by `gloamer analyse`, replayed by both hosts.
//
// A frame data file lets two hosts, the Linux build with its FFT and the Win32 build without one, drive a plug-in
// with the very same inputs. All integers are unsigned 32-bit little-endian; there is no padding:
//
//   offset  size  field
//   0       8     magic "GLMFRAME"
//   8       4     format version, 1
//   12      4     frames a second the frames were made for (1 to 240)
//   16      4     frame count N (1 or more)
//   20      4     sample rate of the analysed audio: what the module's sampleRate is given
//   24      4     channel count of the analysed audio, 0 to 2: what the module's channelCount is given
//   28      4     latency in milliseconds: how far ahead of each frame's audio position the rows were taken
//   32      N x 2308, one record a frame, in drawing order:
//           4     tick count the plug-in reads while it draws the frame
//           1152  spectrumData: 2 rows of 576 bytes, channel 0 first
//           1152  waveformData: 2 rows of 576 bytes, channel 0 first
//
// The file ends with the last record; anything after it makes the file invalid.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/process/pending_file.h"

namespace gloamer {

struct FrameRecord {
    uint32_t tick = 0;
    uint8_t spectrum[2][576] = {};
    uint8_t waveform[2][576] = {};
};

struct FrameData {
    uint32_t fps = 30;
    uint32_t sampleRate = 44100;
    uint32_t channelCount = 2;
    uint32_t latencyMs = 0;
    std::vector<FrameRecord> frames;
};

constexpr size_t frameDataHeaderBytes = 32;
constexpr size_t frameRecordBytes = 4 + 2 * 576 + 2 * 576;

// Writes a frame data file record by record, so that a long analysis holds one record at a time, under a
// temporary name beside `path`. finish() sets the frame count to the records added and renames the file into
// place; a writer destroyed unfinished leaves what stood at `path` before. Throws HostError naming the file.
class FrameDataWriter {
public:
    // Takes fps, sampleRate, channelCount and latencyMs from `header`; its frames are not written.
    FrameDataWriter(const std::string& path, const FrameData& header, bool replace);
    ~FrameDataWriter();
    FrameDataWriter(const FrameDataWriter&) = delete;
    FrameDataWriter& operator=(const FrameDataWriter&) = delete;

    void add(const FrameRecord& frame);
    void finish();

private:
    void fail();

    std::unique_ptr<PendingFile> file_;
    FILE* stream_ = nullptr;
    uint32_t frameCount_ = 0;
};

// The whole of `data` through a FrameDataWriter, replacing a file at `path`.
void writeFrameData(const std::string& path, const FrameData& data);
// Throws HostError saying what is wrong with the file: missing, not frame data, another version, cut short, too long.
FrameData readFrameData(const std::string& path);

} // namespace gloamer
