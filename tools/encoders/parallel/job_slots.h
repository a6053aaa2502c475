#pragma once

#include "libs/durable_file/file_descriptor.h"
#include "tools/encoders/core/frame_encoder.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace encoders::parallel {

// The cores of the machine shared out between the encoder programs that a batch runs at once.
// The batch names a file and the number of slots in SONABOX_JOB_SLOTS=<path>:<count>; slot i
// is byte i of that file, held as an open-file-description lock. Every thread that codes holds
// one slot while it codes, so all programs together never code on more threads than there are
// slots. The kernel drops such a lock when its descriptor is closed, also when the program is
// killed, so a program that dies never keeps a slot from the others.
class JobSlots {
public:
    JobSlots(std::filesystem::path file, int count) : file_(std::move(file)), count_(count) {}

    // "<path>:<count>" (the path may hold colons; the count follows the last one), or nothing
    // when the text does not read so.
    static std::optional<JobSlots> parse(std::string_view text);
    // From SONABOX_JOB_SLOTS; nothing when it is not set. Throws EncoderError when it does not
    // parse.
    static std::optional<JobSlots> fromEnvironment();

    // One held slot, given back when it is destroyed. An empty one holds nothing.
    class Slot {
    public:
        Slot() = default;
        explicit Slot(int fd) : fd_(fd) {}
        bool held() const { return fd_.get() >= 0; }

    private:
        friend class JobSlots;
        durable::FileDescriptor fd_;
    };

    // A free slot now, or an empty one when all are taken.
    Slot tryTake() const;
    // Waits for a free slot, looking again every millisecond. Gives up with an empty slot when
    // `abandon` says so, and when the file cannot be opened or locked at all: the coding then
    // goes on unshared rather than never.
    Slot take(const std::function<bool()>& abandon = {}) const;

private:
    enum class Attempt { Taken, Busy, Broken };
    Attempt attempt(int fd) const;

    std::filesystem::path file_;
    int count_;
};

// The encoder as it is when it codes on worker threads of its own (those hold the slots), else
// one that holds a slot from its first samples until it has finished, when the environment
// names job slots.
std::unique_ptr<FrameEncoder> holdingJobSlot(std::unique_ptr<FrameEncoder> encoder);

} // namespace encoders::parallel
