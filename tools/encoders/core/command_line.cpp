#include "tools/encoders/core/command_line.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/source_names.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace encoders {

namespace {

// A whole text of decimal digits as a number; empty when it is anything else or too large.
std::optional<int> decimal(std::string_view text) {
    int value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool isSwitch(const std::string& arg) {
    return !arg.empty() && arg.front() == '-';
}

void requirePaths(const std::vector<std::string>& args, std::size_t count) {
    const char* what = count == 1 ? "an input file" : "an input file and an output file";
    if (args.size() < count) {
        throw UsageError(std::string("expected ") + what);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (args[i].empty()) {
            throw UsageError("an empty file name was given");
        }
    }
}

// Names another file where only switches may follow.
void rejectStrayArgument(const std::string& arg) {
    if (!isSwitch(arg)) {
        throw UsageError("unexpected argument '" + arg + "'");
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// -RV<q>: LAME's variable bitrate at quality q of its -V scale; -RA<n>: an average n kbit/s.
void rateSwitch(const std::string& arg, EncodeRequest& request, int& averageKbps) {
    const std::string_view kind = std::string_view(arg).substr(2, 1);
    const auto number = decimal(std::string_view(arg).substr(std::min<std::size_t>(3, arg.size())));
    if (kind == "V" && number && *number <= kMaxVbrQuality) {
        request.rateControl = RateControl::Variable;
        request.vbrQuality = *number;
    } else if (kind == "A" && number && *number >= kMinAverageKbps && *number <= kMaxAverageKbps) {
        request.rateControl = RateControl::Average;
        averageKbps = *number;
    } else {
        throw UsageError("bad rate switch '" + arg + "' (use -RV0 to -RV" +
                         std::to_string(kMaxVbrQuality) + ", or -RA" +
                         std::to_string(kMinAverageKbps) + " to -RA" +
                         std::to_string(kMaxAverageKbps) + ")");
    }
}

} // namespace

EncodeRequest parseHouseArguments(const std::vector<std::string>& args) {
    requirePaths(args, 2);
    EncodeRequest request;
    request.input = args[0];
    request.output = args[1];
    bool haveBitrate = false;
    int averageKbps = 0;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        rejectStrayArgument(arg);
        std::string_view value = std::string_view(arg).substr(2);
        if (arg.starts_with("-M")) {
            static constexpr ChannelMode kModes[] = {ChannelMode::Stereo, ChannelMode::JointStereo,
                                                     ChannelMode::DualChannel, ChannelMode::Mono};
            auto mode = decimal(value);
            if (!mode || *mode > 3) {
                throw UsageError("bad mode switch '" + arg + "' (use -M0 to -M3)");
            }
            request.mode = kModes[*mode];
        } else if (arg.starts_with("-B")) {
            auto half = decimal(value);
            if (!half || *half > 100000) {
                throw UsageError("bad bitrate switch '" + arg + "' (use -B and half the bitrate)");
            }
            request.kbps = 2 * *half;
            haveBitrate = true;
        } else if (arg.starts_with("-R")) {
            rateSwitch(arg, request, averageKbps);
        } else if (arg.starts_with("-L")) {
            if (value == "1") {
                request.layer = Layer::I;
            } else if (value == "2") {
                request.layer = Layer::II;
            } else if (value == "3") {
                request.layer = Layer::III;
            } else {
                throw UsageError("bad layer switch '" + arg + "' (use -L1, -L2 or -L3)");
            }
        }
    }
    if (!haveBitrate) {
        throw UsageError("no bitrate switch -B<n> given");
    }
    if (request.rateControl != RateControl::Constant && request.layer != Layer::III) {
        throw UsageError("variable and average bitrates are for Layer III only");
    }
    if (request.rateControl == RateControl::Average) {
        request.kbps = averageKbps;
    }
    return request;
}

EncodeRequest parseBladeencArguments(const std::vector<std::string>& args) {
    requirePaths(args, 1);
    EncodeRequest request;
    request.input = args[0];
    request.output = bladeencOutputPath(args[0]);
    request.replaceOutput = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        rejectStrayArgument(arg);
        if (equalsIgnoringCase(arg, "-MONO")) {
            request.mode = ChannelMode::Mono;
        } else if (auto kbps = decimal(std::string_view(arg).substr(1))) {
            request.kbps = *kbps;
        }
    }
    return request;
}

EncodeRequest parsePluggerArguments(const std::vector<std::string>& args) {
    requirePaths(args, 2);
    EncodeRequest request;
    request.input = args[0];
    request.output = args[1];
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        rejectStrayArgument(arg);
        if (arg == "-b") {
            std::optional<int> kbps;
            if (i + 1 < args.size()) {
                kbps = decimal(args[i + 1]);
            }
            if (!kbps) {
                throw UsageError("-b must be followed by a bitrate in kbit/s");
            }
            request.kbps = *kbps;
            ++i;
        } else if (arg.starts_with("-b") && decimal(std::string_view(arg).substr(2))) {
            request.kbps = *decimal(std::string_view(arg).substr(2));
        } else if (arg == "-z") {
            request.lameQuality = kLameBestQuality;
        } else if (arg == "-dm") {
            request.mode = ChannelMode::Mono;
        }
    }
    return request;
}

std::string bladeencOutputPath(const std::string& input) {
    const std::size_t end = replacedNameEnd(input);
    if (input.size() <= end) {
        throw UsageError("input file name '" + input + "' is too short to name an output after it");
    }
    return input.substr(0, input.size() - end) + "MP3";
}

} // namespace encoders
