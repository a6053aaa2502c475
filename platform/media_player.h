#pragma once

#include <QString>

#include <memory>
#include <stdexcept>

namespace platform {

// A failure of the media player, with a text to show to the user.
class MediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The hidden player for previews: plays one sound file on the default sound output. The file
// is read by the encoders' own reader, so every kind the Encode page lists plays (a WAVE file
// with more than one "fmt " or "data" chunk is refused at once), SDL plays it; playing goes on in
// SDL's audio thread while the caller's thread goes on. Every member is called from one thread (the
// GUI thread).
//
// Open claims the sound output until close or destruction; no thread or device is left
// running after either.
class MediaPlayer {
public:
    enum class Mode { NotOpen, Stopped, Playing, Paused };

    MediaPlayer();
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // The path that open uses.
    void setFileName(const QString& fileName);
    QString fileName() const;

    // Closes the open file, if any, then opens the file named by fileName() on the sound
    // output, stopped at its beginning. Throws MediaError when that fails; nothing is open then.
    void open();

    // Plays from the current position and returns at once; at the end of the file the player
    // stays open, stopped. At the end already, it stays stopped. Failures are not thrown but
    // kept in lastError().
    void play();

    // Pauses a playing file and resumes a paused one; otherwise does nothing. Throws
    // MediaError "No MCI device open" when nothing is open.
    void pause();

    // Stops playing and keeps the position; no more of the file is played once it returns.
    // Throws MediaError "No MCI device open" when nothing is open.
    void stop();

    // Closes the open file and releases the sound output; does nothing when nothing is open.
    void close();

    bool isOpen() const;
    Mode mode() const;

    // Why the last play() failed, or empty when it did not.
    QString lastError() const;

    // An integer the owner keeps with the player; the player does not use it.
    int tag() const;
    void setTag(int tag);

private:
    class Device;

    std::unique_ptr<Device> device_;
    QString fileName_;
    QString lastError_;
    int tag_ = 0;
};

} // namespace platform
