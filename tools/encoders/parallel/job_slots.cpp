#include "tools/encoders/parallel/job_slots.h"

#include "tools/encoders/core/batch_protocol.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/parallel/chunked_encoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace encoders::parallel {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(1);
// More would only be a mistake: a slot per core of a very large machine.
constexpr int kMaxSlots = 4096;

int openSlotFile(const std::filesystem::path& file) {
    return ::open(file.c_str(), O_RDWR | O_CLOEXEC);
}

// The whole-file coder codes on the calling thread, which holds one slot while it does. Every
// other call goes to the coder as it is.
class SlotHoldingEncoder : public FrameEncoder {
public:
    SlotHoldingEncoder(std::unique_ptr<FrameEncoder> inner, JobSlots slots)
        : inner_(std::move(inner)), slots_(std::move(slots)) {}

    void encode(std::span<const float> interleaved, OutputFile& out) override {
        hold();
        inner_->encode(interleaved, out);
    }
    void setTrackGain(const ReplayGain& gain) override { inner_->setTrackGain(gain); }
    void finish(OutputFile& out) override {
        hold();
        inner_->finish(out);
        slot_ = {};
    }

private:
    void hold() {
        if (!started_) {
            slot_ = slots_.take();
            started_ = true;
        }
    }

    std::unique_ptr<FrameEncoder> inner_;
    JobSlots slots_;
    JobSlots::Slot slot_;
    bool started_ = false;
};

} // namespace

std::optional<JobSlots> JobSlots::parse(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    const std::string_view digits = text.substr(colon + 1);
    int count = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc() || end != digits.data() + digits.size() || count < 1 ||
        count > kMaxSlots) {
        return std::nullopt;
    }
    return JobSlots(std::filesystem::path(text.substr(0, colon)), count);
}

std::optional<JobSlots> JobSlots::fromEnvironment() {
    const char* text = std::getenv(protocol::kJobSlots);
    if (text == nullptr) {
        return std::nullopt;
    }
    auto slots = parse(text);
    if (!slots) {
        // Coding unshared beside a batch that shares the cores would crowd them.
        throw EncoderError(
            std::string(protocol::kJobSlots) + "='" + std::string(text).substr(0, 200) +
            "' is not <file>:<count> with a count from 1 to " + std::to_string(kMaxSlots));
    }
    return slots;
}

JobSlots::Attempt JobSlots::attempt(int fd) const {
    for (int i = 0; i < count_; ++i) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = i;
        lock.l_len = 1;
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) {
            return Attempt::Taken;
        }
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            return Attempt::Broken;
        }
    }
    return Attempt::Busy;
}

JobSlots::Slot JobSlots::tryTake() const {
    // Each holder has its own open file description: locks of one description never exclude
    // each other, whichever thread takes them.
    Slot slot(openSlotFile(file_));
    if (slot.held() && attempt(slot.fd_.get()) == Attempt::Taken) {
        return slot;
    }
    return {};
}

JobSlots::Slot JobSlots::take(const std::function<bool()>& abandon) const {
    Slot slot(openSlotFile(file_));
    while (slot.held()) {
        switch (attempt(slot.fd_.get())) {
        case Attempt::Taken:
            return slot;
        case Attempt::Broken:
            return {};
        case Attempt::Busy:
            if (abandon && abandon()) {
                return {};
            }
            std::this_thread::sleep_for(kPoll);
            break;
        }
    }
    return {};
}

std::unique_ptr<FrameEncoder> holdingJobSlot(std::unique_ptr<FrameEncoder> encoder) {
    auto slots = JobSlots::fromEnvironment();
    if (!slots || dynamic_cast<ChunkedEncoder*>(encoder.get()) != nullptr) {
        return encoder;
    }
    return std::make_unique<SlotHoldingEncoder>(std::move(encoder), std::move(*slots));
}

} // namespace encoders::parallel
