#pragma once

#include <QString>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

// The values the encoder options take, each with the texts it goes by: its entry in the
// Configure page's box and its word on sonabox's command line. The page's texts and the
// command line's words become these values here and nowhere else; the encoder table
// (encoders.h) says which values each encoder offers and the switch its program gets for each.
namespace encode {

enum class ChannelMode { Stereo, JointStereo, Mono, DualMono };
enum class MpegLayer { I, II, III };

template <typename Value> struct NamedValue {
    Value value;
    QString text; // the Configure box's entry
    QString word; // on sonabox's command line
};

// In the order of the Mode box's entries: Stereo, Joint Stereo, Mono, Dual Mono.
const std::vector<NamedValue<ChannelMode>>& channelModes();
// In the order of the Layer box's entries: Layer I, II, III.
const std::vector<NamedValue<MpegLayer>>& mpegLayers();

// The value named exactly (case and all) by a box's text, or by a command-line word.
template <typename Value>
std::optional<Value> valueOfText(const std::vector<NamedValue<Value>>& values,
                                 const QString& text) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const NamedValue<Value>& v) { return v.text == text; });
    return found == values.end() ? std::nullopt : std::optional<Value>(found->value);
}
template <typename Value>
std::optional<Value> valueOfWord(const std::vector<NamedValue<Value>>& values,
                                 const QString& word) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const NamedValue<Value>& v) { return v.word == word; });
    return found == values.end() ? std::nullopt : std::optional<Value>(found->value);
}
template <typename Value>
const NamedValue<Value>& named(const std::vector<NamedValue<Value>>& values, Value value) {
    return *std::find_if(values.begin(), values.end(),
                         [&](const NamedValue<Value>& v) { return v.value == value; });
}
QString textOf(ChannelMode mode);
QString textOf(MpegLayer layer);

// What the encoder is asked to keep to: a constant bitrate in kbit/s.
struct Rate {
    int kbps = 0;
    bool operator==(const Rate&) const = default;
};

// The Bitrate box's entry: the rate right-aligned in three characters ("  32 Kbit/s",
// "128 Kbit/s"), so that the rates line up in the list.
QString textOf(Rate rate);

// A bitrate text that does not begin with a number: "'fast' is not a valid integer value".
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& text);
};

// The run of digits the bitrate text begins with once its leading blanks are skipped ("  32
// Kbit/s" gives 32); throws ConversionError when there is none.
int bitrateNumber(const QString& bitrate);
// The rate a Bitrate text stands for; throws ConversionError.
Rate rateOfText(const QString& text);
// The rate of a command-line word: a number of kbit/s ("128").
std::optional<Rate> rateOfWord(const QString& word);

// The texts one file is encoded with, as the Configure page's boxes hold them.
struct EncodeOptions {
    QString mode;
    QString bitrate;
    QString layer;
    QString outputDirectory;
    bool showEncoder = false;
};

// Those texts as values. A mode or layer text that names none stays empty: the command line
// then keeps what the previous file had in that place.
struct EncodeChoices {
    std::optional<ChannelMode> mode;
    Rate rate;
    std::optional<MpegLayer> layer;
    bool showEncoder = false;
};

// Throws ConversionError when the bitrate text has no number.
EncodeChoices parseChoices(const EncodeOptions& options);

} // namespace encode
