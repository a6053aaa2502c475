#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

// How long the rest of a batch takes, from the files' audio durations and the speed so far.
// Plain values in and out: the progress windows and the command line feed it their clocks.
namespace selection {

class BatchEstimate {
public:
    // The audio seconds of each queued file, 0 where unknown.
    explicit BatchEstimate(std::vector<double> seconds) : seconds_(std::move(seconds)) {}

    // File `index` (from 0) has reached `fraction` of its audio, `elapsed` wall seconds after
    // the batch began. Earlier files count as done.
    void update(int index, double fraction, double elapsed);

    // Audio seconds converted per wall second; nothing until some audio is done.
    std::optional<double> speed() const;
    // Wall seconds until the batch ends; nothing while the speed is unknown.
    std::optional<double> secondsLeft() const;
    // The audio seconds of file `index`.
    double fileSeconds(int index) const;

private:
    std::vector<double> seconds_;
    double done_ = 0;
    double elapsed_ = 0;
};

// "0:07", "1:23", "1:02:03": minutes and seconds, hours when there are any; rounded up.
QString durationText(double seconds);

// "Encoding... (2 of 12)", and once the time left is known "Encoding... (2 of 12, 1:23 left)".
QString batchCaption(const QString& doing, int position, int count, std::optional<double> left);

} // namespace selection
