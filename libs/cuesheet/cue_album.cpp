#include "libs/cuesheet/cue_album.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace cuesheet {

namespace fs = std::filesystem;

namespace {

// A cue file is a few kilobytes; a larger file named .cue is no cue sheet.
constexpr std::uintmax_t kMaxSheetBytes = 1 << 20;

std::string positionText(const Sheet& sheet, std::int64_t position) {
    if (sheet.unitsPerSecond == 75) {
        return timeText(position);
    }
    std::ostringstream text;
    text << position << " samples";
    return text.str();
}

std::string indexName(const Track& track, const Index& index) {
    return "track " + std::to_string(track.number) + " INDEX " + (index.number < 10 ? "0" : "") +
           std::to_string(index.number);
}

std::string quoted(const fs::path& path) {
    return "'" + path.filename().string() + "'";
}

// Every index comes after the one before it in the same file, and no file comes back.
void checkOrder(const Sheet& sheet) {
    if (sheet.tracks.empty()) {
        throw CueError("the cue sheet has no tracks");
    }
    const Index* previous = nullptr;
    for (const Track& track : sheet.tracks) {
        if (!track.start()) {
            throw CueError("track " + std::to_string(track.number) + " has no INDEX 01");
        }
        for (const Index& index : track.indexes) {
            if (previous &&
                (index.file < previous->file ||
                 (index.file == previous->file && index.position <= previous->position))) {
                throw CueError("the times are out of order: " + indexName(track, index) + " at " +
                               positionText(sheet, index.position) + " does not come after " +
                               positionText(sheet, previous->position));
            }
            previous = &index;
        }
    }
}

std::string readBounded(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size > kMaxSheetBytes) {
        throw CueError("the cue sheet " + quoted(path) + " cannot be read");
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        throw CueError("the cue sheet " + quoted(path) + " cannot be read");
    }
    return bytes;
}

// A track the sheet gives no title: an embedded CUESHEET block holds none.
std::string defaultTitle(int number) {
    return std::string("Track ") + (number < 10 ? "0" : "") + std::to_string(number);
}

bool isCueFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".cue";
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

// A FILE of the sheet names the audio; a sheet that cannot be read names nothing (it may be
// another album's).
bool namesAudio(const fs::path& sheetPath, const fs::path& audio) {
    try {
        const Sheet sheet = readSheet(sheetPath);
        return std::any_of(sheet.files.begin(), sheet.files.end(), [&](const std::string& name) {
            const fs::path named = sheetPath.parent_path() / fs::path(name);
            std::error_code error;
            return fs::exists(named, error) ? sameFile(named, audio) : named.stem() == audio.stem();
        });
    } catch (const CueError&) {
        return false;
    }
}

} // namespace

std::vector<TrackCut> cutFile(const Sheet& sheet, std::size_t file, int sampleRate,
                              std::int64_t frames, std::string_view name) {
    checkOrder(sheet);
    const auto samples = [&](std::int64_t position) {
        return position * sampleRate / sheet.unitsPerSecond;
    };
    std::vector<TrackCut> cuts;
    for (const Track& track : sheet.tracks) {
        for (const Index& index : track.indexes) {
            if (index.file == file && samples(index.position) >= frames) {
                throw CueError(indexName(track, index) + " at " +
                               positionText(sheet, index.position) + " lies beyond the end of '" +
                               std::string(name) + "'");
            }
        }
        const Index& start = *track.start();
        if (start.file != file) {
            continue;
        }
        if (!cuts.empty()) {
            cuts.back().end = samples(start.position);
        }
        cuts.push_back({.number = track.number,
                        .first = cuts.empty() ? 0 : samples(start.position),
                        .end = frames,
                        .title = track.title.empty() ? defaultTitle(track.number) : track.title,
                        .performer = track.performer.empty() ? sheet.performer : track.performer});
    }
    if (cuts.empty()) {
        throw CueError("the cue sheet has no track in '" + std::string(name) + "'");
    }
    return cuts;
}

Sheet readSheet(const fs::path& path) {
    if (isCueFile(path)) {
        return parseCueSheet(decodeCueText(readBounded(path)));
    }
    if (auto embedded = readEmbeddedSheet(path)) {
        return *embedded;
    }
    throw CueError(quoted(path) + " holds no cue sheet");
}

Album albumOf(const fs::path& sheetPath, const fs::path& audio) {
    Album album{.sheetPath = sheetPath, .sheet = readSheet(sheetPath)};
    if (!isCueFile(sheetPath)) {
        return album; // an embedded sheet is the file's own
    }
    const fs::path folder = sheetPath.parent_path();
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < album.sheet.files.size(); ++i) {
        const fs::path named = folder / fs::path(album.sheet.files[i]);
        std::error_code error;
        const bool there = fs::exists(named, error);
        if (there ? sameFile(named, audio) : named.stem() == audio.stem()) {
            found = found.value_or(i);
        } else if (!there) {
            throw CueError("the cue sheet " + quoted(sheetPath) + " names '" +
                           album.sheet.files[i] + "', which is not there");
        }
    }
    if (!found) {
        throw CueError("the cue sheet " + quoted(sheetPath) + " names no FILE " + quoted(audio));
    }
    album.file = *found;
    return album;
}

std::optional<Album> findAlbum(const fs::path& audio) {
    std::error_code error;
    std::vector<fs::path> sheets;
    for (fs::directory_iterator it(audio.parent_path().empty() ? "." : audio.parent_path(), error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        if (isCueFile(it->path()) && it->is_regular_file(error)) {
            sheets.push_back(it->path());
        }
    }
    std::sort(sheets.begin(), sheets.end());
    // A sheet of the audio's own stem is its sheet whatever it says; another only when it
    // names the file.
    for (const fs::path& sheet : sheets) {
        if (sheet.stem() == audio.stem()) {
            return albumOf(sheet, audio);
        }
    }
    for (const fs::path& sheet : sheets) {
        if (namesAudio(sheet, audio)) {
            return albumOf(sheet, audio);
        }
    }
    if (auto embedded = readEmbeddedSheet(audio)) {
        return Album{.sheetPath = audio, .sheet = std::move(*embedded)};
    }
    return std::nullopt;
}

} // namespace cuesheet
