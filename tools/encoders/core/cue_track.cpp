#include "tools/encoders/core/cue_track.h"

#include "libs/cuesheet/cue_album.h"
#include "tools/encoders/core/batch_protocol.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/environment_value.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace encoders {

namespace {

void keepIfEmpty(std::string& field, const std::string& fallback) {
    if (field.empty()) {
        field = fallback;
    }
}

} // namespace

std::optional<TrackRequest> trackRequest() {
    const char* sheet = std::getenv(protocol::kCueSheet);
    const char* track = std::getenv(protocol::kCueTrack);
    if (sheet == nullptr && track == nullptr) {
        return std::nullopt;
    }
    if (sheet == nullptr || track == nullptr) {
        throw UsageError(std::string(sheet == nullptr ? protocol::kCueTrack : protocol::kCueSheet) +
                         " is set without " +
                         (sheet == nullptr ? protocol::kCueSheet : protocol::kCueTrack));
    }
    const std::string_view path(sheet, strnlen(sheet, PATH_MAX + 1));
    if (path.empty() || path.size() > PATH_MAX) {
        throw UsageError(std::string(protocol::kCueSheet) + "=" + quotedValue(path) +
                         " is not the path of a cue sheet");
    }
    const std::string_view digits(track, strnlen(track, 3));
    const bool number = !digits.empty() && digits.size() <= 2 && track[digits.size()] == '\0' &&
                        digits.find_first_not_of("0123456789") == std::string_view::npos;
    const int value = number ? std::stoi(std::string(digits)) : 0;
    if (value < 1 || value > 99) {
        throw UsageError(std::string(protocol::kCueTrack) + "=" + quotedValue(digits) +
                         " is not a track number from 1 to 99");
    }
    return TrackRequest{.sheet = std::filesystem::path(path), .number = value};
}

SourceTrack cutTrack(const TrackRequest& request, const std::filesystem::path& input,
                     int sampleRate, std::optional<std::int64_t> frames, const Tags& inputTags) {
    const std::string name = input.filename().string();
    if (!frames) {
        throw EncoderError("'" + input.string() + "' does not tell its length, so its tracks " +
                           "cannot be cut");
    }
    try {
        const cuesheet::Album album = cuesheet::albumOf(request.sheet, input);
        for (const cuesheet::TrackCut& cut :
             cuesheet::cutFile(album.sheet, album.file, sampleRate, *frames, name)) {
            if (cut.number != request.number) {
                continue;
            }
            SourceTrack track{.first = cut.first, .end = cut.end, .tags = {}};
            Tags& tags = track.tags;
            tags.title = cut.title;
            tags.artist = cut.performer;
            tags.album = album.sheet.title;
            tags.albumArtist = album.sheet.performer;
            tags.year = album.sheet.date;
            tags.genre = album.sheet.genre;
            tags.track =
                std::to_string(cut.number) + "/" + std::to_string(album.sheet.tracks.back().number);
            keepIfEmpty(tags.artist, inputTags.artist);
            keepIfEmpty(tags.album, inputTags.album);
            keepIfEmpty(tags.albumArtist, inputTags.albumArtist);
            keepIfEmpty(tags.year, inputTags.year);
            keepIfEmpty(tags.genre, inputTags.genre);
            tags.comment = inputTags.comment;
            tags.disc = inputTags.disc;
            tags.cover = inputTags.cover;
            return track;
        }
        throw cuesheet::CueError("the cue sheet has no track " + std::to_string(request.number) +
                                 " in '" + name + "'");
    } catch (const cuesheet::CueError& error) {
        throw EncoderError("'" + request.sheet.string() + "': " + error.what());
    }
}

} // namespace encoders
