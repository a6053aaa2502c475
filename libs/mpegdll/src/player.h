#pragma once

#include "libs/durable_file/file_identity.h"
#include "libs/mpegdll/src/atomic_file.h"
#include "libs/mpegdll/src/decoder.h"
#include "libs/mpegdll/src/sound_card_output.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace mpegdll {

// The one open stream of the library and its playback thread. Every public member runs on
// the caller's thread and throws LibraryError on failure; the callers serialise them.
//
// While a playback runs, its thread alone uses the decoder and the output; the caller's
// thread talks to it through requests under mutex_ and reads the position and frame
// information from atomics.
class Player {
public:
    Player() = default;
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Takes `decoder`, opened on the file at `path`, as the open stream.
    void openFile(const std::string& path, std::unique_ptr<Decoder> decoder);
    void openStream(const StreamCallbacks& callbacks);
    void close();

    void setOutput(int device, const char* fileName);
    void setSoundDevice(int device) { soundDevice_ = device; }
    void setPriority(int priority);

    void play(int startMs, int endMs, unsigned char* endFlag);
    void restart();
    void stop();
    void pause(bool resume);
    int seek(int positionMs);

    int mode();
    int positionMs() const;
    int lengthMs() const;
    bool confirmEnd();
    int frequency() const;
    FrameInfo frameInfo() const;

    // The failure that ended the last playback, until the next one starts; 0 when none.
    int endFailure();

private:
    struct Playback;
    enum class Outcome { Ended, Stopped, InputFailed, OutputFailed };

    void requireOpen() const;
    void refuseOutputOverInput() const;
    void opened(std::unique_ptr<Decoder> decoder);
    void startPlayback();
    void joinWorker();
    void run(std::unique_ptr<Playback> playback);
    Outcome decodeLoop(Playback& playback);
    // The sequential loop's parts. Whether the playback thread may decode now, after serving
    // the requests and, when playing, waiting while the sound card holds enough.
    enum class Turn { Decode, Wait, Stopped, Drained };
    Turn awaitTurn(Playback& playback, std::size_t ahead);
    // One turn of the loop: serves, paces, decodes and hands on one chunk; the outcome when
    // the playback ends, nullopt to go on.
    std::optional<Outcome> decodeStep(Playback& playback, std::size_t ahead);
    // All audio is out of the decoder: a file playback ends, a sound card one drains first.
    static std::optional<Outcome> endOfAudio(Playback& playback);
    // Writes or queues the frames of `chunk` that precede the end of the playback.
    std::optional<Outcome> handOn(Playback& playback, const DecodedChunk& chunk);
    bool endedWellShort(const Playback& playback) const;
    // Decodes a whole file into the PCM file on several threads; nullopt when the playback
    // is to go on (or be done) by the sequential loop.
    std::optional<Outcome> decodeInParallel(Playback& playback);
    bool serveRequests(std::unique_lock<std::mutex>& lock, Playback& playback);
    void publishFrameInfo();
    int toMs(std::int64_t frames) const;
    std::int64_t toFrames(int ms) const;

    std::unique_ptr<Decoder> decoder_;
    std::optional<durable::FileIdentity> inputId_; // the open input file
    std::string inputPath_;                        // empty for a caller's stream
    SoundSystem soundSystem_;

    // Settings for the next playback.
    int outputDevice_ = MPEGDLL_OUTPUT_SOUNDCARD;
    std::string outputFile_;
    int soundDevice_ = 0;
    int priority_ = 0;

    // The last Play, repeated by Restart.
    bool played_ = false;
    std::int64_t startFrame_ = 0;
    std::int64_t endFrame_ = -1;
    unsigned char* endFlag_ = nullptr;

    std::thread worker_;

    // Shared with the playback thread.
    std::mutex mutex_;
    std::condition_variable wake_;
    int mode_ = MPEGDLL_MODE_CLOSED;
    bool stopRequested_ = false;
    bool pauseRequested_ = false;
    bool workerPaused_ = false; // the thread's answer to pauseRequested_
    std::optional<std::int64_t> seekRequest_;
    std::optional<std::int64_t> seekReached_;
    int seekError_ = 0;
    bool finished_ = true;
    bool endedOnItsOwn_ = false;
    int endFailure_ = 0;

    std::atomic<std::int64_t> position_{0};
    std::atomic<int> bitrate_{0};
    std::atomic<int> layer_{0};
    std::atomic<int> channelMode_{-1};
};

} // namespace mpegdll
