#pragma once

#include "mpegplay/mpeg_error.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QTimer;
class DecoderLibrary;

// The playback thread's priority, from idle to time-critical.
enum class TPlayPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// Where a playback goes: the sound card, or the PCM (WAV) file named by OutFilename.
enum class TOutputDevice { wavemapper, pcmfile };

// The owner's stream handlers (FromStream). Parameters passed by reference are answers that
// the handler sets. -1 in a seek or size answer means failure; MoveMethod is 0 (from the
// start), 1 (from the current position) or 2 (from the end).
using TOpenStreamEvent = std::function<void(bool& Nonseekable, void*& Context)>;
using TCloseStreamEvent = std::function<void(void* Context)>;
using TRestartStreamEvent = std::function<void(void* Context, bool& res)>;
using TReadStreamEvent =
    std::function<void(void* Context, void* read_buffer, int nNumberOfBytesToRead,
                       int& nNumberOfBytesRead, bool& res)>;
using TSeekStreamEvent = std::function<void(void* Context, int numbytes, int MoveMethod, int& res)>;
using TGetStreamSizeEvent = std::function<void(void* Context, int& res)>;
// Fired by the internal timer with the position and the stream's length (milliseconds).
using TPosUpdateEvent = std::function<void(int Pos, int Len)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

// The MPEG player: loads the decoder library libmpegdll.so and plays one MPEG audio stream
// (a file, or a stream that the owner supplies through the stream events) to the sound card or
// into a WAV file, in the background. It shows nothing; every failure is a TMPEGError.
//
// Everything runs on the GUI thread, except the stream events: the decoder library calls
// them on its own playback thread as well. Bind them before Open and leave them alone while a
// stream is open; they must not call the player.
class TMPEGPlayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Seekable READ Seekable WRITE setSeekable)
    Q_PROPERTY(bool FromStream READ FromStream WRITE setFromStream)
    Q_PROPERTY(TPlayPriority PlayerPriority READ PlayerPriority WRITE setPlayerPriority)
    Q_PROPERTY(bool UseTimer READ UseTimer WRITE setUseTimer)
    Q_PROPERTY(int TimerFreq READ TimerFreq WRITE setTimerFreq)
    Q_PROPERTY(bool AutoPlay READ AutoPlay WRITE setAutoPlay)
    Q_PROPERTY(QString StreamName READ StreamName WRITE setStreamName)
    Q_PROPERTY(TOutputDevice OutputDevice READ OutputDevice WRITE setOutputDevice)
    Q_PROPERTY(int WaveDeviceNum READ WaveDeviceNum WRITE setWaveDeviceNum)
    Q_PROPERTY(QString OutFilename READ OutFilename WRITE setOutFilename)
    Q_PROPERTY(QString PathToDLL READ PathToDLL WRITE setPathToDLL)
    Q_PROPERTY(int StartPos READ StartPos WRITE setStartPos)
    Q_PROPERTY(int EndPos READ EndPos WRITE setEndPos)
    Q_PROPERTY(int PlayedXTimes READ PlayedXTimes)

public:
    // The owner (Qt parent) destroys the player. Neither loads the library nor makes the timer.
    explicit TMPEGPlayer(QObject* Owner = nullptr);
    // Stops a playback, closes the stream, and releases and unloads the library.
    ~TMPEGPlayer() override;

    bool Seekable() const { return seekable_; }
    void setSeekable(bool value) { seekable_ = value; }
    bool FromStream() const { return fromStream_; }
    void setFromStream(bool value) { fromStream_ = value; }
    TPlayPriority PlayerPriority() const;
    // Also hands the priority to the library when it is loaded.
    void setPlayerPriority(TPlayPriority value);
    bool UseTimer() const { return useTimer_; }
    void setUseTimer(bool value) { useTimer_ = value; }
    int TimerFreq() const { return timerFreq_; }
    // 0 also clears UseTimer.
    void setTimerFreq(int value);
    bool AutoPlay() const { return autoPlay_; }
    void setAutoPlay(bool value) { autoPlay_ = value; }
    QString StreamName() const { return streamName_; }
    // Closes an open stream.
    void setStreamName(const QString& value);
    TOutputDevice OutputDevice() const;
    void setOutputDevice(TOutputDevice value);
    int WaveDeviceNum() const { return waveDeviceNum_; }
    void setWaveDeviceNum(int value) { waveDeviceNum_ = value; }
    QString OutFilename() const { return outFilename_; }
    void setOutFilename(const QString& value) { outFilename_ = value; }
    QString PathToDLL() const { return pathToDll_; }
    void setPathToDLL(const QString& value) { pathToDll_ = value; }
    int StartPos() const { return startPos_; }
    void setStartPos(int value) { startPos_ = value; }
    int EndPos() const { return endPos_; }
    void setEndPos(int value) { endPos_ = value; }
    // 1 after Open, one more at every start and restart, 0 after Close.
    int PlayedXTimes() const { return playedXTimes_; }

    bool Paused() const { return paused_; }
    // True pauses, false continues.
    void setPaused(bool value);
    // The length (milliseconds) that the library gave at the last successful Open.
    int StreamLength() const { return streamLength_; }

    TOpenStreamEvent OnOpenStream;
    TCloseStreamEvent OnCloseStream;
    TRestartStreamEvent OnRestartStream;
    TReadStreamEvent OnReadStream;
    TSeekStreamEvent OnSeekStream;
    TGetStreamSizeEvent OnGetStreamSize;
    TPosUpdateEvent OnPosUpdate;
    TNotifyEvent OnPlayEnd;

    void LoadDecoder();
    void Open();
    void Play();
    void Stop();
    void Restart();
    void Close();
    int PlayerMode();
    int Position();
    bool CheckPlayEnd();
    // The internal timer's tick.
    virtual void DoTimer(QObject* Sender);

signals:
    // The running playback has reached its end (or a failure ended it), seen moments after the
    // library's thread set the end flag. Nothing of the player's state changes: CheckPlayEnd
    // or a tick of the internal timer still takes the end.
    void playbackEnded();

private:
    void requireLibrary() const;
    void checkResult();
    void startTimer();
    void watchEnd();
    void checkEnd();
    void releaseLibrary() noexcept;
    bool ended();
    void setEnded(bool value);

    static void streamOpen(void* user, unsigned char* nonseekable, void** context);
    static void streamClose(void* user, void* context);
    static void streamRestart(void* user, void* context, unsigned char* res);
    static void streamRead(void* user, void* context, void* buffer, int bytesToRead, int* bytesRead,
                           unsigned char* res);
    static void streamSeek(void* user, void* context, int numbytes, int moveMethod, int* res);
    static void streamSize(void* user, void* context, int* res);

    bool seekable_ = false;
    bool fromStream_ = false;
    bool useTimer_ = false;
    int timerFreq_ = 0;
    bool autoPlay_ = false;
    QString streamName_;
    int waveDeviceNum_ = 0;
    QString outFilename_;
    QString pathToDll_;
    int startPos_ = 0;
    int endPos_ = 0;
    int playedXTimes_ = 0;
    int streamLength_ = 0;

    std::unique_ptr<DecoderLibrary> library_;
    QTimer* timer_ = nullptr;    // a Qt child of the player
    QTimer* endWatch_ = nullptr; // looks at the end flag while a playback runs; a Qt child
    QElapsedTimer watchClock_;   // since the playback started
    int watchFrom_ = 0;          // the position it started at
    bool open_ = false;
    bool playing_ = false;
    bool paused_ = false;
    // Written by the library's playback thread; always accessed atomically.
    alignas(std::atomic_ref<unsigned char>::required_alignment) unsigned char ended_ = 0;
    int priority_ = 0;
    int deviceCode_ = 0;
    int lastError_ = 0;
};
