#include "tools/encoders/tests/test_support.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <numbers>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace encoders::testing {

long writeWav(const std::filesystem::path& path, const ToneWav& tone) {
    SF_INFO info{};
    info.channels = tone.channels;
    info.samplerate = tone.sampleRate;
    info.format = SF_FORMAT_WAV | (tone.format == 0 ? SF_FORMAT_PCM_16 : tone.format);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(nullptr));
    }
    const long frames = std::lround(tone.seconds * tone.sampleRate);
    std::vector<float> samples(static_cast<std::size_t>(frames) * tone.channels);
    for (long n = 0; n < frames; ++n) {
        for (int ch = 0; ch < tone.channels; ++ch) {
            const double f = tone.frequencies[ch % tone.frequencies.size()];
            samples[n * tone.channels + ch] = static_cast<float>(
                tone.amplitude * std::sin(2 * std::numbers::pi * f * n / tone.sampleRate));
        }
    }
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    return frames;
}

std::string littleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

std::string riffChunk(const std::string& id, const std::string& contents) {
    return id + littleEndian(static_cast<std::uint32_t>(contents.size()), 4) + contents +
           (contents.size() % 2 != 0 ? std::string(1, '\0') : "");
}

std::string infoChunk(const std::vector<std::string>& values) {
    const char* ids[] = {"INAM", "IART", "IPRD", "IPRT", "ICRD", "IGNR", "ICMT"};
    std::string list = "INFO";
    for (std::size_t i = 0; i < values.size() && i < 7; ++i) {
        list += riffChunk(ids[i], values[i] + '\0');
    }
    return riffChunk("LIST", list);
}

void writeRawWav(const std::filesystem::path& path, const RawWav& wav) {
    const auto blockAlign = static_cast<std::uint32_t>(2 * wav.channels);
    std::string format = littleEndian(1, 2) + littleEndian(wav.channels, 2) +
                         littleEndian(wav.sampleRate, 4) +
                         littleEndian(wav.sampleRate * blockAlign, 4) +
                         littleEndian(blockAlign, 2) + littleEndian(16, 2);
    std::string samples;
    for (long n = 0; n < wav.frames; ++n) {
        const double phase = 2 * std::numbers::pi * 440.0 * n / std::max(wav.sampleRate, 1);
        const auto value = static_cast<std::uint32_t>(std::lround(8000 * std::sin(phase)));
        for (int ch = 0; ch < wav.channels; ++ch) {
            samples += littleEndian(value, 2);
        }
    }
    const long declared = wav.declaredFrames < 0 ? wav.frames : wav.declaredFrames;
    const std::string body = "WAVE" + riffChunk("fmt ", format) + wav.chunksBefore + "data" +
                             littleEndian(static_cast<std::uint32_t>(declared * blockAlign), 4) +
                             samples + wav.chunksAfter;
    std::ofstream(path, std::ios::binary)
        << "RIFF" << littleEndian(static_cast<std::uint32_t>(body.size()), 4) << body;
}

std::vector<float> Audio::channel(int index) const {
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(frames()));
    for (long n = 0; n < frames(); ++n) {
        out.push_back(samples[n * channels + index]);
    }
    return out;
}

Audio readAudio(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    }
    Audio audio;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ProcessResult run(const std::vector<std::string>& argv) {
    TempDir capture;
    const std::string outPath = (capture / "out").string();
    const std::string errPath = (capture / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

std::map<std::string, std::string> probe(const std::filesystem::path& file) {
    ProcessResult result =
        run({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
             "stream=codec_name,sample_rate,channels,channel_layout,bit_rate,duration", "-of",
             "default=noprint_wrappers=1", file.string()});
    std::map<std::string, std::string> values;
    for (const std::string& line : lines(result.out)) {
        if (auto eq = line.find('='); eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    values["exit"] = std::to_string(result.exitCode);
    values["stderr"] = result.err;
    return values;
}

std::map<std::string, std::string> probeTags(const std::filesystem::path& file) {
    const ProcessResult result = run({"ffprobe", "-v", "error", "-show_entries", "format_tags",
                                      "-of", "default=noprint_wrappers=1", file.string()});
    std::map<std::string, std::string> tags;
    for (const std::string& line : lines(result.out)) {
        if (auto eq = line.find('='); line.starts_with("TAG:") && eq != std::string::npos) {
            tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
        }
    }
    return tags;
}

double ffmpegLoudness(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> argv = {"ffmpeg", "-nostats", "-v", "error"};
    std::string graph;
    for (std::size_t i = 0; i < files.size(); ++i) {
        argv.insert(argv.end(), {"-i", files[i].string()});
        graph += "[" + std::to_string(i) + ":a]";
    }
    graph += "concat=n=" + std::to_string(files.size()) +
             ":v=0:a=1,ebur128=metadata=1,ametadata=mode=print:key=lavfi.r128.I:file=-";
    argv.insert(argv.end(), {"-filter_complex", graph, "-f", "null", "-"});
    const ProcessResult result = run(argv);
    // The last value printed is the loudness of the whole.
    double lufs = 0;
    for (const std::string& line : lines(result.out)) {
        if (line.starts_with("lavfi.r128.I=")) {
            lufs = std::stod(line.substr(13));
        }
    }
    return lufs;
}

Mpg123Report mpg123Check(const std::filesystem::path& file) {
    ProcessResult result = run({"mpg123", "-t", "-v", file.string()});
    Mpg123Report report;
    report.exitCode = result.exitCode;
    report.output = result.err + result.out;
    for (const std::string& line : lines(report.output)) {
        if (line.starts_with("MPEG ")) {
            report.streamLine = line;
            break;
        }
    }
    return report;
}

Audio mpg123Decode(const std::filesystem::path& file, const std::filesystem::path& wav) {
    ProcessResult result = run({"mpg123", "-q", "-w", wav.string(), file.string()});
    if (result.exitCode != 0) {
        throw std::runtime_error("mpg123 failed on " + file.string() + ": " + result.err);
    }
    return readAudio(wav);
}

Audio ffmpegDecode(const std::filesystem::path& file, const std::filesystem::path& wav) {
    ProcessResult result = run(
        {"ffmpeg", "-v", "error", "-y", "-i", file.string(), "-c:a", "pcm_f32le", wav.string()});
    if (result.exitCode != 0) {
        throw std::runtime_error("ffmpeg failed on " + file.string() + ": " + result.err);
    }
    return readAudio(wav);
}

double sineFitSnrDb(const std::vector<float>& samples, int sampleRate, double frequency,
                    double* amplitude) {
    // Least squares over sin, cos: with many whole periods the two are nearly orthogonal,
    // but solving the 2x2 system keeps short inputs exact.
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    const double w = 2 * std::numbers::pi * frequency / sampleRate;
    const std::size_t first = static_cast<std::size_t>(sampleRate / 10);
    const std::size_t end = samples.size() > 2 * first ? samples.size() - first : first;
    for (std::size_t n = first; n < end; ++n) {
        const double s = std::sin(w * n);
        const double c = std::cos(w * n);
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += samples[n] * s;
        yc += samples[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    double signal = 0, residual = 0;
    for (std::size_t n = first; n < end; ++n) {
        const double fit = a * std::sin(w * n) + b * std::cos(w * n);
        signal += fit * fit;
        residual += (samples[n] - fit) * (samples[n] - fit);
    }
    if (amplitude != nullptr) {
        *amplitude = std::hypot(a, b);
    }
    return 10 * std::log10(signal / std::max(residual, 1e-30));
}

double alignedSnrDb(const std::vector<float>& reference, const std::vector<float>& decoded,
                    long margin) {
    const long length = static_cast<long>(std::min(reference.size(), decoded.size()));
    double signal = 0, noise = 0;
    for (long n = margin; n < length - margin; ++n) {
        signal += double(reference[n]) * reference[n];
        noise += (double(decoded[n]) - reference[n]) * (double(decoded[n]) - reference[n]);
    }
    return 10 * std::log10(signal / std::max(noise, 1e-30));
}

} // namespace encoders::testing
