#include "naming/engine/name_pattern.h"

#include <algorithm>
#include <array>
#include <utility>

namespace naming {

namespace {

constexpr std::string_view kFieldList =
    "{albumartist} {artist} {album} {disc} {track} {title} {year} {genre}";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A byte that continues a UTF-8 character: a cut before it would split the character.
bool continuesCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool unfitByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '/';
}

[[noreturn]] void refuse(const std::string& why) {
    throw PatternError(why);
}

} // namespace

std::string paddedNumber(std::string_view value, int width) {
    const auto start = value.find_first_not_of(' ');
    if (start == std::string_view::npos || !isDigit(value[start]))
        return std::string(value);
    std::string digits;
    for (std::size_t i = start; i < value.size() && isDigit(value[i]); ++i)
        digits += value[i];
    if (int(digits.size()) < width)
        digits.insert(0, std::size_t(width) - digits.size(), '0');
    return digits;
}

std::string fitName(std::string_view text, std::string_view extension, std::size_t maxBytes) {
    std::string name(text);
    std::replace_if(name.begin(), name.end(), unfitByte, '_');
    const std::size_t room = maxBytes > extension.size() ? maxBytes - extension.size() : 1;
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && continuesCharacter(name[cut]))
            --cut;
        name.resize(cut);
    }
    // A leading dot would hide the file (and "." or ".." would leave the folder); a trailing
    // blank or dot is lost or refused by some file systems and players.
    for (std::size_t i = 0; i < name.size() && name[i] == '.'; ++i)
        name[i] = '_';
    for (std::size_t i = name.size(); i > 0 && (name[i - 1] == ' ' || name[i - 1] == '.'); --i)
        name[i - 1] = '_';
    if (name.empty())
        name = "_";
    return name + std::string(extension);
}

NamePattern NamePattern::parse(std::string_view text) {
    static const std::array<std::pair<std::string_view, Field>, 8> fields{{
        {"albumartist", Field::AlbumArtist},
        {"artist", Field::Artist},
        {"album", Field::Album},
        {"disc", Field::Disc},
        {"track", Field::Track},
        {"title", Field::Title},
        {"year", Field::Year},
        {"genre", Field::Genre},
    }};
    NamePattern pattern;
    std::vector<Piece> component;
    const auto endComponent = [&] {
        if (component.empty())
            refuse("an empty folder name in \"" + std::string(text) +
                   "\" (a \"/\" at either end or two in a row)");
        pattern.components_.push_back(std::move(component));
        component.clear();
    };
    const auto addText = [&](char c) {
        if (component.empty() || component.back().isField)
            component.push_back({});
        component.back().text += c;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            addText(c);
            ++i;
        } else if (c == '}') {
            refuse("a \"}\" without its \"{\" in \"" + std::string(text) +
                   "\" (\"}}\" stands for one)");
        } else if (c == '{') {
            const auto close = text.find('}', i);
            if (close == std::string_view::npos)
                refuse("a \"{\" without its \"}\" in \"" + std::string(text) + "\"");
            const std::string_view inside = text.substr(i + 1, close - i - 1);
            const std::string_view name = inside.substr(0, inside.find(':'));
            const auto known = std::find_if(fields.begin(), fields.end(),
                                            [&](const auto& field) { return field.first == name; });
            if (known == fields.end())
                refuse("unknown field {" + std::string(inside) + "}; the fields are " +
                       std::string(kFieldList));
            Piece piece{.text = {}, .isField = true, .field = known->second};
            if (name.size() < inside.size()) {
                const std::string_view padding = inside.substr(name.size() + 1);
                if (padding.size() != 2 || padding[0] != '0' || !isDigit(padding[1]) ||
                    padding[1] == '0')
                    refuse("the padding of {" + std::string(inside) +
                           "} is not a zero and a width of 1 to 9, as in {track:02}");
                piece.width = padding[1] - '0';
            }
            component.push_back(std::move(piece));
            i = close;
        } else if (c == '/') {
            endComponent();
        } else {
            addText(c);
        }
    }
    endComponent();
    return pattern;
}

const std::string& NamePattern::valueOf(const NameFields& fields, Field field) {
    switch (field) {
    case Field::AlbumArtist:
        return fields.albumArtist;
    case Field::Artist:
        return fields.artist;
    case Field::Album:
        return fields.album;
    case Field::Disc:
        return fields.disc;
    case Field::Track:
        return fields.track;
    case Field::Year:
        return fields.year;
    case Field::Genre:
        return fields.genre;
    case Field::Title:
        break;
    }
    return fields.title;
}

std::string NamePattern::name(const NameFields& fields, std::string_view extension) const {
    std::string path;
    for (std::size_t c = 0; c < components_.size(); ++c) {
        std::string text;
        for (const Piece& piece : components_[c]) {
            if (!piece.isField)
                text += piece.text;
            else if (piece.width > 0 || piece.field == Field::Track || piece.field == Field::Disc)
                text += paddedNumber(valueOf(fields, piece.field), piece.width);
            else
                text += valueOf(fields, piece.field);
        }
        const bool last = c + 1 == components_.size();
        if (!path.empty())
            path += '/';
        path += fitName(text, last ? extension : std::string_view());
    }
    return path;
}

} // namespace naming
