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

// What the encoder is asked to keep to: a constant bitrate in kbit/s, LAME's variable bitrate
// at a quality of its -V scale (kbps is then about what it comes to on music), or an average
// bitrate of kbps over the file.
struct Rate {
    enum class Kind { Constant, Variable, Average };
    int kbps = 0;
    Kind kind = Kind::Constant;
    int quality = 0; // Variable: 0 (best) to kMaxVbrQuality
    bool operator==(const Rate&) const = default;
};
// The ranges the house encoder's -RV and -RA switches take.
inline constexpr int kMaxVbrQuality = 9;
inline constexpr int kMinAverageKbps = 8;
inline constexpr int kMaxAverageKbps = 320;
// The rates for these; the quality or bitrate must lie in its range.
Rate variableRate(int quality);
Rate averageRate(int kbps);

// The Bitrate box's entry: a constant rate right-aligned in three characters ("  32 Kbit/s",
// "128 Kbit/s"), so that the rates line up in the list; "VBR V2 (~190 Kbit/s)"; "ABR 192
// Kbit/s".
QString textOf(Rate rate);

// A bitrate text that does not begin with a number: "'fast' is not a valid integer value";
// or a VBR or ABR text whose quality or rate lies outside its range.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& text);

protected:
    explicit ConversionError(const std::string& message) : std::runtime_error(message) {}
};
class RateRangeError : public ConversionError {
public:
    explicit RateRangeError(const QString& message) : ConversionError(message.toStdString()) {}
};

// The run of digits the bitrate text begins with once its leading blanks are skipped ("  32
// Kbit/s" gives 32); throws ConversionError when there is none.
int bitrateNumber(const QString& bitrate);
// The rate a Bitrate text stands for; throws ConversionError. A text that begins with "VBR V"
// or "ABR " (blanks trimmed) stands for a variable or average rate, any other for the
// constant rate of its number.
Rate rateOfText(const QString& text);
// The rate of a command-line word: a number of kbit/s ("128").
std::optional<Rate> rateOfWord(const QString& word);
// The rates of the words of --vbr and --abr; nothing for a word that is no number in range.
std::optional<Rate> variableRateOfWord(const QString& word);
std::optional<Rate> averageRateOfWord(const QString& word);

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
