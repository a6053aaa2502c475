#include "libs/cuesheet/cue_sheet.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace cuesheet {

namespace {

constexpr int kFramesPerSecond = 75;
// Beyond any disc or file; keeps the positions far from overflow.
constexpr std::int64_t kMaxMinutes = 100000;

// The words of one line: bare words, or text in double quotes (which may hold spaces).
std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        } else if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            out.emplace_back(line.substr(i + 1, end == std::string_view::npos ? end : end - i - 1));
            i = end == std::string_view::npos ? line.size() : end + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) {
                ++end;
            }
            out.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::optional<std::int64_t> number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// "mm:ss:ff" in CD frames.
std::optional<std::int64_t> frames(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto minutes = number(text.substr(0, first));
    const auto seconds = number(text.substr(first + 1, second - first - 1));
    const auto rest = number(text.substr(second + 1));
    if (!minutes || !seconds || !rest || *minutes > kMaxMinutes || *seconds >= 60 ||
        *rest >= kFramesPerSecond || text.substr(first + 1, second - first - 1).size() != 2 ||
        text.substr(second + 1).size() != 2) {
        return std::nullopt;
    }
    return (*minutes * 60 + *seconds) * kFramesPerSecond + *rest;
}

// The words after the first `skip` of a line, joined again: a REM's value, quoted or not.
std::string rest(const std::vector<std::string>& line, std::size_t skip) {
    std::string text;
    for (std::size_t i = skip; i < line.size(); ++i) {
        text += (i > skip ? " " : "") + line[i];
    }
    return text;
}

class Reader {
public:
    Sheet read(std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            ++line_;
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            take(words(line));
            start = end + 1;
        }
        return sheet_;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw CueError("line " + std::to_string(line_) + " of the cue sheet: " + why);
    }

    void take(const std::vector<std::string>& line) {
        if (line.empty()) {
            return;
        }
        const std::string keyword = upper(line[0]);
        Track* track = sheet_.tracks.empty() ? nullptr : &sheet_.tracks.back();
        if (keyword == "FILE") {
            if (line.size() < 2 || line[1].empty()) {
                fail("FILE names no file");
            }
            sheet_.files.push_back(line[1]);
        } else if (keyword == "TRACK") {
            takeTrack(line);
        } else if (keyword == "INDEX") {
            takeIndex(line, track);
        } else if (keyword == "TITLE" && line.size() >= 2) {
            (track ? track->title : sheet_.title) = rest(line, 1);
        } else if (keyword == "PERFORMER" && line.size() >= 2) {
            (track ? track->performer : sheet_.performer) = rest(line, 1);
        } else if (keyword == "REM" && line.size() >= 3 && !track) {
            const std::string field = upper(line[1]);
            if (field == "DATE") {
                sheet_.date = rest(line, 2);
            } else if (field == "GENRE") {
                sheet_.genre = rest(line, 2);
            }
        }
    }

    void takeTrack(const std::vector<std::string>& line) {
        const auto value = line.size() >= 2 ? number(line[1]) : std::nullopt;
        if (!value || *value < 1 || *value > 99) {
            fail("'" + (line.size() >= 2 ? line[1] : std::string()) +
                 "' is no track number from 1 to 99");
        }
        const int n = int(*value);
        if (line.size() < 3 || upper(line[2]) != "AUDIO") {
            fail("track " + std::to_string(n) + " is not an AUDIO track");
        }
        if (sheet_.files.empty()) {
            fail("track " + std::to_string(n) + " comes before any FILE line");
        }
        if (!sheet_.tracks.empty() && n <= sheet_.tracks.back().number) {
            fail("track " + std::to_string(n) + " follows track " +
                 std::to_string(sheet_.tracks.back().number));
        }
        sheet_.tracks.emplace_back().number = n;
    }

    void takeIndex(const std::vector<std::string>& line, Track* track) {
        if (!track) {
            fail("INDEX outside a track");
        }
        const auto n = line.size() >= 3 ? number(line[1]) : std::nullopt;
        const auto at = line.size() >= 3 ? frames(line[2]) : std::nullopt;
        if (!n || *n > 99) {
            fail("the INDEX has no number from 0 to 99");
        }
        if (!at) {
            fail("'" + (line.size() >= 3 ? line[2] : std::string()) + "' is no time mm:ss:ff");
        }
        track->indexes.push_back(
            {.number = int(*n), .position = *at, .file = sheet_.files.size() - 1});
    }

    Sheet sheet_;
    int line_ = 0;
};

} // namespace

const Index* Track::start() const {
    const auto found = std::find_if(indexes.begin(), indexes.end(),
                                    [](const Index& index) { return index.number == 1; });
    return found == indexes.end() ? nullptr : &*found;
}

Sheet parseCueSheet(std::string_view text) {
    return Reader().read(text);
}

std::string timeText(std::int64_t frames) {
    const auto two = [](std::int64_t value) {
        return (value < 10 ? "0" : "") + std::to_string(value);
    };
    const std::int64_t seconds = frames / kFramesPerSecond;
    return two(seconds / 60) + ":" + two(seconds % 60) + ":" + two(frames % kFramesPerSecond);
}

} // namespace cuesheet
