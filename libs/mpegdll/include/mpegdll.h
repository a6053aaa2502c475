/*
 * libmpegdll: an MPEG audio decoder library (Layers I, II and III; MPEG 1, 2 and 2.5).
 *
 * The library holds one open stream at a time for the whole process and plays it either to the
 * sound card in real time or into a 16-bit PCM WAV file as fast as the machine allows. Playback
 * runs on a thread of the library's own: Play returns at once, and the end of a playback is
 * signalled through a one-byte end flag that the caller owns.
 *
 * Calling conventions
 *  - Every entry point may be called from any thread; the calls are serialised inside the
 *    library. The stream callbacks (below) must not call back into the library.
 *  - Every entry point except LastError records an error code that LastError then returns:
 *    0 after a successful call, otherwise one of the MPEGDLL_ERR_* codes.
 *  - Before init (or after the matching deinit) every call fails with MPEGDLL_ERR_MODE.
 *  - init and deinit are counted: the library is torn down by the deinit that matches the
 *    first init. All users in one process share the one stream.
 *
 * Position unit
 *  Positions and lengths (Play, GetCurrentPos, GetLength, Seek) are milliseconds of decoded
 *  audio from the start of the stream, rounded down. A length of 0 means unknown.
 *
 * Player modes (GetPlayerMode)
 *  MPEGDLL_MODE_CLOSED  0  no stream is open
 *  MPEGDLL_MODE_OPEN    1  a stream is open and no playback runs (not yet started, stopped, or
 *                          its end has been confirmed by ResetPlayerMode)
 *  MPEGDLL_MODE_ENDED   2  the last playback has ended on its own; not yet confirmed
 *  MPEGDLL_MODE_PLAYING 3  a playback runs
 *  MPEGDLL_MODE_PAUSED  4  a playback is paused
 *
 * The end flag
 *  Play hands the library the address of one byte owned by the caller. The library writes 0
 *  to it when a playback starts (Play and Restart) and a non-zero value once that playback has
 *  run to its end (the output file is then complete and closed, or the sound card has played
 *  the last sample), or once a failure has ended it (see below). A stopped playback
 *  leaves it at 0. The library writes it from its own thread with atomic operations
 *  (__atomic_store_n, release order), so the owner must read and write the byte atomically as
 *  well (for example through std::atomic_ref<unsigned char> on a suitably aligned byte), and
 *  keep it alive until Close, deinit, or a Play with another address.
 *
 * The format of the output
 *  The WAV file and the sound card get the rate and channel count of the stream's first frame.
 *  Frames of another format further on (as in files joined end to end) are converted to it:
 *  mono is copied to both channels, stereo mixed down to mono, another rate resampled
 *  (libsamplerate), so that every part plays at its own speed and pitch and the output lasts
 *  as long as the stream.
 *
 * The PCM file
 *  A playback into a PCM file writes a temporary file (".sbx" and six random characters) in
 *  the output file's folder and renames it onto the output file when the playback ends or is
 *  stopped, so an existing file of that name stays as it was until then. A symbolic link as the
 *  output is followed: the file it names is replaced. When the playback fails the temporary
 *  file is removed and an existing output file is left untouched. The stream's ID3v2 tag
 *  (completed from its ID3v1 tag) goes into the file's LIST/INFO chunk as UTF-8: title INAM,
 *  artist IART, album IPRD, track ITRK, year ICRD, genre IGNR, comment ICMT (what does not encode
 *  a character, such as half a UTF-16 surrogate pair, becomes U+FFFD); a stream without
 *  tags gives a file without that chunk, and a tag that cannot be read is left out.
 *
 * Failures after Play has returned
 *  A failure of the running playback ends it: the mode goes to MPEGDLL_MODE_ENDED and the end
 *  flag becomes non-zero, as at a normal end. GetPlayerMode and GetCurrentPos do not report
 *  it; ResetPlayerMode (and Stop) report it through LastError, on every call until the next
 *  playback starts or the stream is closed:
 *  MPEGDLL_ERR_OUTPUT  the PCM file could not be written (cannot create, disk full, the final
 *                      rename failed): no output file is left, an existing one is untouched.
 *  MPEGDLL_ERR_INPUT   the input could not be read: no output file is left, as above. Also
 *                      when a decode into a PCM file ended well short: on data that libmpg123
 *                      could not decode with more than a tenth of the input left after it, or
 *                      with less than 90 % of the audio that the length counted at Open (see
 *                      GetLength: what the file holds, not an Info frame's count that it does
 *                      not hold) promises up to the end position. The output file is then
 *                      kept: it holds all that could be decoded.
 *  MPEGDLL_ERR_INTERNAL the decoder ran out of memory: no output file is left.
 *  After the end GetCurrentPos gives the position the decode reached.
 */
#ifndef MPEGDLL_H
#define MPEGDLL_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(MPEGDLL_BUILDING)
#define MPEGDLL_API __attribute__((visibility("default")))
#else
#define MPEGDLL_API
#endif

/* Error codes returned by LastError. */
#define MPEGDLL_ERR_NONE 0
#define MPEGDLL_ERR_INTERNAL 1    /* the decoder itself failed: out of memory, no thread */
#define MPEGDLL_ERR_MODE 2        /* call not allowed now, or an argument out of range */
#define MPEGDLL_ERR_INPUT 3       /* the input cannot be opened, read or is not MPEG audio */
#define MPEGDLL_ERR_NONSEEKABLE 4 /* a seek or rewind that the non-seekable stream cannot do */
#define MPEGDLL_ERR_OUTPUT 5      /* the output file cannot be written, or no sound device */

/* Player modes returned by GetPlayerMode. */
#define MPEGDLL_MODE_CLOSED 0
#define MPEGDLL_MODE_OPEN 1
#define MPEGDLL_MODE_ENDED 2
#define MPEGDLL_MODE_PLAYING 3
#define MPEGDLL_MODE_PAUSED 4

/* Input kinds for Open. */
#define MPEGDLL_INPUT_FILE 0
#define MPEGDLL_INPUT_STREAM 1

/* Output devices for SetOutputDevice. */
#define MPEGDLL_OUTPUT_SOUNDCARD 0
#define MPEGDLL_OUTPUT_PCMFILE 2

/* Thread priorities accepted by SetPriority, from idle to time-critical. */
#define MPEGDLL_PRIORITY_IDLE (-15)
#define MPEGDLL_PRIORITY_LOWEST (-2)
#define MPEGDLL_PRIORITY_BELOW_NORMAL (-1)
#define MPEGDLL_PRIORITY_NORMAL 0
#define MPEGDLL_PRIORITY_ABOVE_NORMAL 1
#define MPEGDLL_PRIORITY_HIGHEST 2
#define MPEGDLL_PRIORITY_TIME_CRITICAL 15

/*
 * Stream callbacks (Open with MPEGDLL_INPUT_STREAM). Each receives first the user data given to
 * Open, then its own arguments; answers are written through the pointers. They are called one
 * at a time, on the thread that calls Open, Play, Restart or Close, and on the library's
 * playback thread while a playback runs.
 *
 * open:    called once by Open. Set *context to the stream's context (handed to every other
 *          callback) and *nonseekable to non-zero if the stream cannot seek (it is 0 on entry).
 * close:   called once when the stream is closed (Close, deinit, Open of another stream, or a
 *          failed Open after open succeeded).
 * restart: called by Play and Restart to bring the stream back to its start for a new
 *          playback (not before the first one). Set *res non-zero when it did; with *res 0 the
 *          library seeks to the start itself, which fails with MPEGDLL_ERR_NONSEEKABLE for a
 *          non-seekable stream.
 * read:    read up to bytes_to_read bytes into buffer; set *bytes_read to the count (0 at the
 *          end of the stream) and *res non-zero on success. *res 0 is a read error.
 * seek:    move the stream position by numbytes from move_method 0 (start), 1 (current) or
 *          2 (end); set *res to the new position from the start, or -1 on failure. Only called
 *          for seekable streams.
 * size:    set *res to the stream's size in bytes, or -1 when unknown. Called once by Open.
 */
typedef void (*mpegdll_open_stream_fn)(void* user, unsigned char* nonseekable, void** context);
typedef void (*mpegdll_close_stream_fn)(void* user, void* context);
typedef void (*mpegdll_restart_stream_fn)(void* user, void* context, unsigned char* res);
typedef void (*mpegdll_read_stream_fn)(void* user, void* context, void* buffer, int bytes_to_read,
                                       int* bytes_read, unsigned char* res);
typedef void (*mpegdll_seek_stream_fn)(void* user, void* context, int numbytes, int move_method,
                                       int* res);
typedef void (*mpegdll_stream_size_fn)(void* user, void* context, int* res);

/*
 * init: prepares the library. Returns non-zero on success; on failure LastError tells why
 * (MPEGDLL_ERR_INTERNAL). Each successful init needs one deinit.
 */
MPEGDLL_API unsigned char init(void);

/*
 * deinit: the counterpart of init. The last one closes the open stream (stopping its playback
 * and joining the playback thread) and releases the sound system. MPEGDLL_ERR_MODE without init.
 */
MPEGDLL_API void deinit(void);

/*
 * Open: opens a stream, closing the one open before.
 *  kind MPEGDLL_INPUT_FILE: file_name names the file; the callbacks and user must be null.
 *  kind MPEGDLL_INPUT_STREAM: file_name is ignored; all six callbacks are required and read the
 *  stream; user is handed back to each of them.
 * Reads the first frame and the stream's length (GetLength is valid once Open returns).
 * Returns 0 on success, else the error code: MPEGDLL_ERR_INPUT when the input cannot be read or
 * holds no MPEG audio, or the file is not a regular file (a FIFO, a device or a folder is refused
 * at once, without waiting for data); MPEGDLL_ERR_MODE for a bad kind or missing callbacks. A
 * file is read without holding up the other entry points.
 */
MPEGDLL_API int Open(const char* file_name, int kind, mpegdll_open_stream_fn open_stream,
                     mpegdll_close_stream_fn close_stream, mpegdll_restart_stream_fn restart_stream,
                     mpegdll_read_stream_fn read_stream, mpegdll_seek_stream_fn seek_stream,
                     mpegdll_stream_size_fn stream_size, void* user);

/*
 * Pause: resume 0 pauses the running playback, non-zero continues a paused one. Pausing a
 * paused playback or continuing a running one does nothing. MPEGDLL_ERR_MODE when no playback
 * runs.
 */
MPEGDLL_API void Pause(unsigned char resume);

/*
 * Restart: plays the open stream again with the positions and end flag of the last Play and
 * the current output settings, stopping a running playback first. The output file is written
 * anew. MPEGDLL_ERR_MODE when nothing is open or Play has not been called since Open;
 * MPEGDLL_ERR_NONSEEKABLE when a non-seekable stream cannot be brought back to its start.
 */
MPEGDLL_API void Restart(void);

/*
 * Stop: stops the running or paused playback; the output file is completed (a valid WAV file
 * holding what was decoded so far, put in place) and the end flag stays 0. After a playback
 * that has already run to its end it only confirms that end. MPEGDLL_ERR_MODE when no playback
 * was started; reports a failure that ended the playback like ResetPlayerMode.
 */
MPEGDLL_API void Stop(void);

/*
 * SetPriority: the scheduling priority of the playback thread, one of the MPEGDLL_PRIORITY_*
 * values, used from the next playback on. On Linux it becomes the thread's nice value (19, 10,
 * 5, 0, -5, -10, -20); a raise that the system refuses leaves the thread at its normal
 * priority. MPEGDLL_ERR_MODE for any other value.
 */
MPEGDLL_API void SetPriority(int priority);

/*
 * SetOutputDevice: where the next playback goes. MPEGDLL_OUTPUT_SOUNDCARD plays to the sound
 * card (file_name ignored); MPEGDLL_OUTPUT_PCMFILE decodes into the WAV file file_name (16-bit
 * PCM in the format of the stream's first frame; created or replaced by Play and Restart, see "The
 * PCM file"). MPEGDLL_ERR_MODE for another device or a null name with MPEGDLL_OUTPUT_PCMFILE;
 * MPEGDLL_ERR_OUTPUT when file_name is the open input file (the same file by device and inode,
 * also through another name or a link): the setting is kept, and Play refuses it as well.
 */
MPEGDLL_API void SetOutputDevice(int device, const char* file_name);

/*
 * Play: starts a playback of the open stream from start_pos to end_pos (milliseconds; end_pos 0
 * plays to the end of the stream) and returns at once. end_flag: see "The end flag" above (may
 * be null). Returns 0 when the playback has started, else the error code:
 * MPEGDLL_ERR_MODE when nothing is open, a playback runs, a position is negative, start_pos
 * lies beyond the stream's length, or end_pos is not after start_pos (an end_pos beyond the
 * length plays to the end); MPEGDLL_ERR_OUTPUT when the output file cannot be created (its
 * folder takes no new file, it exists but is not a regular file that the caller may write, or
 * it is the open input file) or no sound device can be opened; MPEGDLL_ERR_NONSEEKABLE when a
 * non-seekable stream cannot reach start_pos or its start.
 */
MPEGDLL_API int Play(int start_pos, int end_pos, unsigned char* end_flag);

/*
 * Close: stops any playback and closes the open stream (the stream's close callback runs).
 * Closing with nothing open succeeds.
 */
MPEGDLL_API void Close(void);

/*
 * GetFrequency: the sample rate in Hz of the open stream's first frame, which the output gets.
 * MPEGDLL_ERR_MODE (and 0) when none.
 */
MPEGDLL_API int GetFrequency(void);

/*
 * GetBitrate: the bitrate in kbit/s of the frame decoded last (the first frame right after
 * Open). MPEGDLL_ERR_MODE (and 0) when nothing is open.
 */
MPEGDLL_API int GetBitrate(void);

/*
 * GetStereoMode: the channel mode of the frame decoded last: 0 stereo, 1 joint stereo, 2 dual
 * channel, 3 mono. MPEGDLL_ERR_MODE (and -1) when nothing is open.
 */
MPEGDLL_API int GetStereoMode(void);

/* GetLayer: the MPEG layer, 1, 2 or 3. MPEGDLL_ERR_MODE (and 0) when nothing is open. */
MPEGDLL_API int GetLayer(void);

/* GetPlayerMode: one of the MPEGDLL_MODE_* values. */
MPEGDLL_API int GetPlayerMode(void);

/*
 * GetCurrentPos: the playback position in milliseconds: audio written to the file, or audio
 * the sound card has played; after the end of a playback, where it ended. 0 when nothing is
 * open.
 */
MPEGDLL_API int GetCurrentPos(void);

/*
 * GetLength: the length in milliseconds of the output the open stream gives (at most 2^31 - 1):
 * from a count of the frames of a file or seekable stream (frames of another rate counted at
 * the first frame's rate), or from the stream's Info frame (written by LAME) when it has one
 * whose frame count the file holds: a count of 0, or one other than the frames of a file that
 * holds all the bytes the Info frame claims, is no count. A file shorter than its Info frame
 * claims has lost its end, and keeps the Info frame's length. A non-seekable stream takes the
 * Info frame's count unless its size cannot hold it (then the length is unknown), else an
 * estimate from the size that the size callback gives; there the count judges "ended well
 * short" only when the stream is shorter than the bytes its Info frame claims. 0 when unknown
 * or when nothing is open.
 */
MPEGDLL_API int GetLength(void);

/*
 * ResetPlayerMode: confirms the end of the last playback. Returns non-zero when the last
 * playback ended on its own (it ran to its end, or a failure ended it) and no playback runs
 * (the mode then goes from MPEGDLL_MODE_ENDED to MPEGDLL_MODE_OPEN; later calls keep answering
 * non-zero until the next playback), 0 otherwise. LastError then gives the failure that ended
 * the playback, or 0 (see "Failures after Play has returned").
 */
MPEGDLL_API unsigned char ResetPlayerMode(void);

/*
 * Seek: moves the running or paused playback to position (milliseconds, within the stream and
 * before the playback's end position) and returns the new position, or -1 on failure:
 * MPEGDLL_ERR_MODE when no playback runs or the position is out of range,
 * MPEGDLL_ERR_NONSEEKABLE for a non-seekable stream.
 */
MPEGDLL_API int Seek(int position);

/*
 * SetSndDevice: the sound card for the next playback. 0 or less: the system's default output
 * device; n > 0: output device n - 1 of the sound system's list when it exists, else the default.
 */
MPEGDLL_API void SetSndDevice(int device);

/* LastError: the error code of the last call (see "Calling conventions"). */
MPEGDLL_API int LastError(void);

/* The entry points' types, for binding the library at run time (dlsym). */
typedef unsigned char (*mpegdll_init_fn)(void);
typedef void (*mpegdll_deinit_fn)(void);
typedef int (*mpegdll_Open_fn)(const char*, int, mpegdll_open_stream_fn, mpegdll_close_stream_fn,
                               mpegdll_restart_stream_fn, mpegdll_read_stream_fn,
                               mpegdll_seek_stream_fn, mpegdll_stream_size_fn, void*);
typedef void (*mpegdll_Pause_fn)(unsigned char);
typedef void (*mpegdll_Restart_fn)(void);
typedef void (*mpegdll_Stop_fn)(void);
typedef void (*mpegdll_SetPriority_fn)(int);
typedef void (*mpegdll_SetOutputDevice_fn)(int, const char*);
typedef int (*mpegdll_Play_fn)(int, int, unsigned char*);
typedef void (*mpegdll_Close_fn)(void);
typedef int (*mpegdll_GetFrequency_fn)(void);
typedef int (*mpegdll_GetBitrate_fn)(void);
typedef int (*mpegdll_GetStereoMode_fn)(void);
typedef int (*mpegdll_GetLayer_fn)(void);
typedef int (*mpegdll_GetPlayerMode_fn)(void);
typedef int (*mpegdll_GetCurrentPos_fn)(void);
typedef int (*mpegdll_GetLength_fn)(void);
typedef unsigned char (*mpegdll_ResetPlayerMode_fn)(void);
typedef int (*mpegdll_Seek_fn)(int);
typedef void (*mpegdll_SetSndDevice_fn)(int);
typedef int (*mpegdll_LastError_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* MPEGDLL_H */
