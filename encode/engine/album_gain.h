#pragma once

#include "tools/encoders/core/loudness.h"

#include <QString>

#include <filesystem>
#include <vector>

// The album step after a batch: the sources of one folder are one album; their loudness,
// measured together, goes into each of their MP3s as REPLAYGAIN_ALBUM_GAIN and _PEAK.
namespace encode {

// Puts the album's gain and peak into the ID3v2 tag that the encoder left at the head of the
// MP3, inside the room the tag keeps, so no audio byte moves. The file is replaced whole and
// durably: a new file beside it, synced, renamed into place; the caller syncs the folder. Throws
// std::runtime_error (std::system_error for a failed write) when the tag has no room for them
// or a write fails; the MP3 then stays as it was.
void writeAlbumGain(const std::filesystem::path& mp3, const encoders::ReplayGain& album);

struct EncodeFileResult;
class EncodeProgress;

// The album gain could not be written into `output` (`why`): the file of the batch that wrote it,
// done until now, fails with that reason, and the progress hears of its new result. Its MP3
// still holds its audio.
void failForAlbumGain(std::vector<EncodeFileResult>& files, const QString& output,
                      const QString& why, EncodeProgress& progress);

} // namespace encode
