#include "tools/encoders/core/batch_protocol.h"

#include <charconv>

namespace encoders::protocol {

namespace {

constexpr std::string_view kDone = "% done";
constexpr std::string_view kNote = "  note: ";

} // namespace

std::string progressLine(int percent) {
    return "  " + std::to_string(percent) + std::string(kDone);
}

std::vector<int> percentsDone(std::string_view text) {
    std::vector<int> percents;
    for (auto at = text.find(kDone); at != std::string_view::npos;
         at = text.find(kDone, at + kDone.size())) {
        // The digits just before the mark.
        std::size_t first = at;
        while (first > 0 && text[first - 1] >= '0' && text[first - 1] <= '9') {
            --first;
        }
        int percent = 0;
        const auto [end, error] = std::from_chars(text.data() + first, text.data() + at, percent);
        if (first < at && error == std::errc() && end == text.data() + at) {
            percents.push_back(percent);
        }
    }
    return percents;
}

bool codingOver(std::string_view text) {
    for (const int percent : percentsDone(text)) {
        if (percent == 100) {
            return true;
        }
    }
    return false;
}

std::string noteLine(std::string_view note) {
    return std::string(kNote) + std::string(note);
}

std::vector<std::string> notesIn(std::string_view text) {
    std::vector<std::string> notes;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with(kNote) && line.size() > kNote.size()) {
            notes.emplace_back(line.substr(kNote.size()));
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return notes;
}

} // namespace encoders::protocol
