#include "tools/encoders/core/source_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace encoders {

namespace {

bool inMask(const std::string& extension) {
    return std::any_of(kSourceKinds.begin(), kSourceKinds.end(),
                       [&](const SourceKind& kind) { return kind.extension == extension; });
}

} // namespace

std::string sourceKindNames() {
    std::vector<std::string_view> names;
    for (const SourceKind& kind : kSourceKinds) {
        if (std::find(names.begin(), names.end(), kind.name) == names.end()) {
            names.push_back(kind.name);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

SourceLibrary sourceLibraryFor(
    const std::function<std::string(std::uint64_t offset, std::size_t size)>& bytesAt) {
    const std::string head = bytesAt(0, 36);
    std::uint64_t at = 0;
    // A FLAC stream may follow an ID3v2 tag.
    if (head.size() >= 10 && head.compare(0, 3, "ID3") == 0) {
        std::uint64_t size = 0;
        for (std::size_t i = 6; i < 10; ++i) {
            size = size << 7 | (static_cast<unsigned char>(head[i]) & 0x7F);
        }
        at = 10 + size + ((static_cast<unsigned char>(head[5]) & 0x10) != 0 ? 10 : 0);
    }
    const auto is = [&head](std::size_t offset, std::string_view magic) {
        return head.size() >= offset + magic.size() &&
               head.compare(offset, magic.size(), magic) == 0;
    };
    const bool riff = is(0, "RIFF") || is(0, "RIFX") || is(0, "RF64");
    // Opus decodes in half the time through FFmpeg (bench/source_kinds_benchmark.sh); an Ogg
    // stream's first packet starts at 28 in a first page of one segment, as Opus has it.
    const bool opus = is(0, "OggS") && is(28, "OpusHead");
    const bool sndfile = (riff && is(8, "WAVE")) || (is(0, "FORM") && is(8, "AIF")) ||
                         (is(0, "OggS") && !opus) || bytesAt(at, 4) == "fLaC";
    return sndfile ? SourceLibrary::Sndfile : SourceLibrary::Ffmpeg;
}

std::size_t replacedNameEnd(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) {
        return 3;
    }
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension != "wav" && inMask(extension) ? extension.size() : 3;
}

} // namespace encoders
