// Arbitrary bytes as a cue file's contents: decoded, read, and cut into tracks at two rates.
// A sheet may be refused (CueError), never crash; the tracks it gives cover the file exactly.
#include "libs/cuesheet/cue_album.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void checkCuts(const cuesheet::Sheet& sheet, std::size_t file, int rate) {
    const std::int64_t frames = std::int64_t(rate) * 600;
    try {
        std::int64_t next = 0;
        for (const cuesheet::TrackCut& cut : cuesheet::cutFile(sheet, file, rate, frames, "a")) {
            if (cut.first != next || cut.end <= cut.first) {
                std::abort();
            }
            next = cut.end;
        }
        if (next != frames) {
            std::abort();
        }
    } catch (const cuesheet::CueError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text =
        cuesheet::decodeCueText(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const cuesheet::Sheet sheet = cuesheet::parseCueSheet(text);
        for (std::size_t file = 0; file < sheet.files.size(); ++file) {
            checkCuts(sheet, file, 44100);
            checkCuts(sheet, file, 8000);
        }
    } catch (const cuesheet::CueError&) {
    }
    return 0;
}
