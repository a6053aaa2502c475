#include "tools/encoders/core/program_main.h"

#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encode_run.h"
#include "tools/encoders/core/encoder_error.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace encoders {

namespace {

// Every note and error becomes exactly one line.
std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// Prefixes each line of notes with the program's name.
class NoteStream : public std::stringbuf {
public:
    explicit NoteStream(std::string name) : name_(std::move(name)) {}

    // Drops notes not yet printed: the error line alone explains a failed run.
    void discard() { str(""); }

protected:
    int sync() override {
        std::string text = str();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            std::cerr << name_ << ": " << text.substr(start, end - start) << '\n';
        }
        str(text.substr(start));
        std::cerr.flush();
        return 0;
    }

private:
    std::string name_;
};

} // namespace

int runProgram(const char* name, const char* usage, ArgumentParser parse, int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    NoteStream noteBuffer(name);
    std::ostream notes(&noteBuffer);
    try {
        const EncodeRequest request = parse(args);
        runEncode(request, std::cout, notes);
        notes.flush();
        return 0;
    } catch (const UsageError& error) {
        std::cerr << name << ": " << oneLine(error.what()) << "; usage: " << usage
                  << " (in.wav: mono or stereo, " << kMinInputRate << " to " << kMaxInputRate
                  << " Hz)" << std::endl;
        return 2;
    } catch (const std::exception& error) {
        noteBuffer.discard();
        std::cerr << name << ": " << oneLine(error.what()) << std::endl;
        return 1;
    }
}

} // namespace encoders
