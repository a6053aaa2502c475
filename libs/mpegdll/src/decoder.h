#pragma once

#include "libs/mpegdll/include/mpegdll.h"
#include "libs/mpegdll/src/format_converter.h"
#include "libs/mpegdll/src/frame_index.h"
#include "libs/mpegdll/src/input_file.h"
#include "libs/mpegdll/src/stream_tags.h"

#include <mpg123.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mpegdll {

// The six stream callbacks of Open and the user data handed back to them.
struct StreamCallbacks {
    mpegdll_open_stream_fn open = nullptr;
    mpegdll_close_stream_fn close = nullptr;
    mpegdll_restart_stream_fn restart = nullptr;
    mpegdll_read_stream_fn read = nullptr;
    mpegdll_seek_stream_fn seek = nullptr;
    mpegdll_stream_size_fn size = nullptr;
    void* user = nullptr;
};

// What the header of the frame decoded last says.
struct FrameInfo {
    int bitrate = 0; // kbit/s
    int layer = 0;
    int mode = -1; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
};

// The result of one decoding step. Audio is 16-bit interleaved in the stream's first format and
// stays valid until the next call into the decoder.
struct DecodedChunk {
    enum class Status { Audio, End, ReadFailed };
    Status status = Status::End;
    const std::int16_t* samples = nullptr;
    std::size_t frames = 0; // samples per channel
};

// One open MPEG audio input, a file or a caller's stream, decoded by libmpg123 to 16-bit PCM
// at the rate and channel count of its first frame: frames of another format further on are
// converted to it. Not thread-safe: one thread uses it at a time.
class Decoder {
public:
    // Opens a regular file (anything else is refused at once, as an input error).
    static std::unique_ptr<Decoder> openFile(const std::string& path);
    static std::unique_ptr<Decoder> openStream(const StreamCallbacks& callbacks);
    ~Decoder();

    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    int rate() const { return rate_; }
    int channels() const { return channels_; }
    bool seekable() const { return !nonseekable_; }
    // In samples per channel at rate(); -1 when unknown.
    std::int64_t length() const { return length_; }
    // Whether the length is counted (a scan, or the encoder's Info frame), not estimated.
    bool lengthCounted() const { return lengthCounted_; }
    FrameInfo frameInfo() const;
    // The stream's ID3 tags as read so far (ID3v1 only when the stream can seek to its end).
    StreamTags tags() const { return readStreamTags(handle_.get()); }
    // Whether the last decode ended on data that libmpg123 could not decode, with more than a
    // tenth of the input after it left unread.
    bool stoppedWellShort() const;

    DecodedChunk decode();

    // Puts the decoder at sample `frame` for a new playback, bringing the stream back to its
    // start first when it has been read from.
    void prepare(std::int64_t frame);
    // Where the frames of a file lie, when it is a plain stream (see FrameIndex); none for a
    // caller's stream.
    const std::optional<FrameIndex>& frameIndex() const { return frameIndex_; }
    // Moves to sample `frame` during a playback; returns the position reached.
    std::int64_t seek(std::int64_t frame);

private:
    Decoder();
    void openCallbackStream();
    void readFormat();
    void reopenStream();
    // Samples at rate() that the frames from the current one to the end hold; whether their
    // format changes. Leaves the decoder at the start.
    struct Survey {
        std::int64_t frames = 0;
        std::int64_t samples = 0;
        bool formatChanges = false;
    };
    Survey survey();
    // Whether the Info frame's count (`libraryFrames` as libmpg123 took it) tells what the
    // stream holds (`frames` as counted, -1 when not counted).
    bool infoCountTrusted(std::int64_t libraryFrames, std::int64_t frames) const;
    // Whether the stream is shorter than the bytes its Info frame claims.
    bool infoLostEnd() const;
    // Back to the start after the survey.
    void rewind();
    // At a change of channel count at frame offset `at` of a file: prepares switchTail_.
    void prepareSwitchTail(std::int64_t at, int oldChannels, int newChannels);
    // Adds what is left of switchTail_ to the output's `frames` frames at `samples`.
    void addSwitchTail(std::int16_t* samples, std::size_t frames);
    std::int64_t readHead(void* buffer, std::size_t bytes, std::int64_t offset);

    static mpg123_ssize_t readCallback(void* handle, void* buffer, std::size_t bytes);
    // Reads through the caller's read callback.
    mpg123_ssize_t readStream(void* buffer, std::size_t bytes);
    static off_t seekCallback(void* handle, off_t offset, int whence);
    // libmpg123 reads a file through these.
    static mpg123_ssize_t fileReadCallback(void* handle, void* buffer, std::size_t bytes);
    static off_t fileSeekCallback(void* handle, off_t offset, int whence);
    void openFileHandle();

    std::unique_ptr<InputFile> file_; // the open file; none for a caller's stream
    std::unique_ptr<BufferedReader> fileReader_;
    struct HandleDeleter {
        void operator()(mpg123_handle* handle) const;
    };
    std::unique_ptr<mpg123_handle, HandleDeleter> handle_;

    bool streamMode_ = false;
    StreamCallbacks callbacks_;
    void* context_ = nullptr;
    bool streamOpened_ = false;
    bool nonseekable_ = false;
    bool readFailed_ = false;
    // The start of a non-seekable stream, read ahead for its Info frame; libmpg123 reads it
    // first.
    std::vector<unsigned char> head_;
    std::size_t headUsed_ = 0;

    bool used_ = false;
    std::int64_t inputSize_ = -1; // bytes; -1 when unknown
    std::int64_t stoppedAt_ = -1; // input offset where undecodable data ended the decode
    bool lengthCounted_ = false;
    std::optional<InfoTag> infoTag_;
    std::optional<FrameIndex> frameIndex_;
    int rate_ = 0; // the output's format: the first frame's
    int channels_ = 0;
    int streamRate_ = 0; // the format of the audio libmpg123 gives now
    int streamChannels_ = 0;
    std::unique_ptr<FormatConverter> converter_;
    std::vector<std::int16_t> converted_;
    // Where recent frames of a file start, oldest first, and what the frames before a change
    // between mono and stereo still contribute after it (see switch_tail.h), in the output's
    // format, with how much of it is added.
    std::deque<std::int64_t> recentFrames_;
    std::vector<std::int16_t> switchTail_;
    std::size_t switchTailUsed_ = 0;
    // The last frames of the part of the stream before the current one (one layout), and the
    // frame number where the current one began; -1 after a seek.
    std::vector<std::vector<unsigned char>> partBefore_;
    std::int64_t partStart_ = 0;
    std::int64_t length_ = -1;
    // Decoded audio of one step: a few MPEG frames, about 0.1 s of CD-quality stereo.
    std::vector<unsigned char> buffer_ = std::vector<unsigned char>(16384);
};

} // namespace mpegdll
