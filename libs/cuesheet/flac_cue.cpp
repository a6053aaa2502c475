#include "libs/cuesheet/cue_album.h"

#include <FLAC/metadata.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>

namespace cuesheet {

namespace {

struct BlockDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};
using Block = std::unique_ptr<FLAC__StreamMetadata, BlockDeleter>;

// The value of the first comment `NAME=value` (the name in any letter case); nothing without.
std::optional<std::string> comment(const FLAC__StreamMetadata* tags, std::string_view name) {
    if (!tags) {
        return std::nullopt;
    }
    const auto& comments = tags->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
        const std::string_view entry(reinterpret_cast<const char*>(comments.comments[i].entry),
                                     comments.comments[i].length);
        if (entry.size() > name.size() && entry[name.size()] == '=' &&
            strncasecmp(entry.data(), name.data(), name.size()) == 0) {
            return std::string(entry.substr(name.size() + 1));
        }
    }
    return std::nullopt;
}

// A sheet's text kept as a comment names the files it was made for: here it is the one file.
Sheet ofOneFile(Sheet sheet, const std::filesystem::path& flac) {
    sheet.files = {flac.filename().string()};
    for (Track& track : sheet.tracks) {
        for (Index& index : track.indexes) {
            index.file = 0;
        }
    }
    return sheet;
}

// The CUESHEET block counts in samples and holds no texts: the album's come from the file's
// own comments, the tracks are named by their numbers.
Sheet ofBlock(const FLAC__StreamMetadata_CueSheet& block, int sampleRate,
              const FLAC__StreamMetadata* tags, const std::filesystem::path& flac) {
    Sheet sheet{.title = comment(tags, "ALBUM").value_or(""),
                .performer =
                    comment(tags, "ALBUMARTIST").value_or(comment(tags, "ARTIST").value_or("")),
                .date = comment(tags, "DATE").value_or(""),
                .genre = comment(tags, "GENRE").value_or(""),
                .files = {flac.filename().string()},
                .tracks = {},
                .unitsPerSecond = sampleRate};
    for (FLAC__uint32 t = 0; t < block.num_tracks; ++t) {
        const FLAC__StreamMetadata_CueSheet_Track& track = block.tracks[t];
        // The lead-out (170 on a CD, 255 otherwise) has no indexes.
        if (track.num_indices == 0 || track.number == 170 || track.number == 255) {
            continue;
        }
        Track out;
        out.number = track.number;
        for (unsigned i = 0; i < track.num_indices; ++i) {
            out.indexes.push_back({.number = track.indices[i].number,
                                   .position = std::int64_t(track.offset + track.indices[i].offset),
                                   .file = 0});
        }
        sheet.tracks.push_back(std::move(out));
    }
    return sheet;
}

// Whether the file begins as a FLAC stream does: "fLaC", perhaps after an ID3v2 tag. libFLAC
// would otherwise read all of any other file looking for one, and every queued source is asked.
bool startsAsFlac(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[10] = {};
    if (!in.read(head, sizeof head)) {
        return false;
    }
    std::streamoff at = 0;
    if (std::memcmp(head, "ID3", 3) == 0) {
        // The tag's size: four 7-bit bytes, after the 10-byte header (and a footer if flagged).
        std::streamoff size = 0;
        for (int i = 6; i < 10; ++i) {
            size = size << 7 | (head[i] & 0x7f);
        }
        at = 10 + size + ((head[5] & 0x10) != 0 ? 10 : 0);
        in.seekg(at);
        if (!in.read(head, 4)) {
            return false;
        }
    }
    return std::memcmp(head, "fLaC", 4) == 0;
}

} // namespace

std::optional<Sheet> readEmbeddedSheet(const std::filesystem::path& flac) {
    FLAC__StreamMetadata info;
    if (!startsAsFlac(flac) || !FLAC__metadata_get_streaminfo(flac.c_str(), &info) ||
        info.data.stream_info.sample_rate == 0) {
        return std::nullopt; // not a FLAC file
    }
    FLAC__StreamMetadata* tagsRead = nullptr;
    FLAC__metadata_get_tags(flac.c_str(), &tagsRead);
    const Block tags(tagsRead);
    if (const auto text = comment(tags.get(), "CUESHEET")) {
        return ofOneFile(parseCueSheet(decodeCueText(*text)), flac);
    }
    FLAC__StreamMetadata* blockRead = nullptr;
    if (!FLAC__metadata_get_cuesheet(flac.c_str(), &blockRead) || !blockRead) {
        return std::nullopt;
    }
    const Block block(blockRead);
    return ofBlock(block->data.cue_sheet, int(info.data.stream_info.sample_rate), tags.get(), flac);
}

} // namespace cuesheet
