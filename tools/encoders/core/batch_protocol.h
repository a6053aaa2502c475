#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a batch and the encoder programs it runs tell each other, besides the command line: the
// environment the batch sets for each program and the progress lines each program prints on
// its standard output. Both sides include this header, so a name changes in one place.
namespace encoders::protocol {

// "<path>:<count>": a file whose byte i is job slot i; every coding thread of every program of
// the batch holds one slot while it codes.
inline constexpr char kJobSlots[] = "SONABOX_JOB_SLOTS";
// Where the program leaves its file's loudness measurement, for the batch's album gain.
inline constexpr char kLoudnessFile[] = "SONABOX_LOUDNESS_FILE";
// "1": the batch syncs the output folder itself, once for all its files.
inline constexpr char kFolderSyncedByCaller[] = "SONABOX_FOLDER_SYNCED_BY_CALLER";
// How many threads the program codes its file on ("1": whole, on one thread).
inline constexpr char kEncoderThreads[] = "SONABOX_ENCODER_THREADS";
// The size in frames of the chunks a file is coded in on several threads (for tests).
inline constexpr char kEncoderChunkFrames[] = "SONABOX_ENCODER_CHUNK_FRAMES";
// "0": no loudness measurement at all (for benchmarks).
inline constexpr char kEncoderLoudness[] = "SONABOX_ENCODER_LOUDNESS";
// One track of an album instead of the whole input: the cue sheet (a .cue file, or the FLAC
// file that embeds one) and the track's number in it, 1 to 99. The program codes the track's
// samples only and tags the MP3 with the sheet's texts.
inline constexpr char kCueSheet[] = "SONABOX_CUE_SHEET";
inline constexpr char kCueTrack[] = "SONABOX_CUE_TRACK";

// The progress line for `percent` of the file coded, without its line end: "  50% done". The
// one for 100 comes once the coding is over, before the program puts its file on the disk; the
// batch then counts the program as no longer coding.
std::string progressLine(int percent);

// Every percentage that the progress lines in `text` tell, in order. Text around the lines and
// other lines are passed over.
std::vector<int> percentsDone(std::string_view text);

// `text` holds the line that says the coding is over.
bool codingOver(std::string_view text);

// The line that tells the batch something about the file worth showing beside its result
// ("mixed down from 6 channels"), without its line end: "  note: mixed down from 6 channels".
std::string noteLine(std::string_view note);

// The notes that the lines of `text` tell, in order. Other lines are passed over.
std::vector<std::string> notesIn(std::string_view text);

} // namespace encoders::protocol
