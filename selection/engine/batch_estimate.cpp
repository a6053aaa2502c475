#include "selection/engine/batch_estimate.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace selection {

namespace {

// Below this the speed is mostly start-up cost and would promise too much.
constexpr double kShortestMeasure = 0.2;

} // namespace

void BatchEstimate::update(int index, double fraction, double elapsed) {
    const auto count = std::ptrdiff_t(seconds_.size());
    const auto before = std::min<std::ptrdiff_t>(std::max(index, 0), count);
    done_ = std::accumulate(seconds_.begin(), seconds_.begin() + before, 0.0);
    if (before < count)
        done_ += std::clamp(fraction, 0.0, 1.0) * seconds_[before];
    elapsed_ = elapsed;
}

std::optional<double> BatchEstimate::speed() const {
    if (done_ <= 0 || elapsed_ < kShortestMeasure)
        return std::nullopt;
    return done_ / elapsed_;
}

std::optional<double> BatchEstimate::secondsLeft() const {
    const auto rate = speed();
    if (!rate)
        return std::nullopt;
    const double total = std::accumulate(seconds_.begin(), seconds_.end(), 0.0);
    return std::max(0.0, total - done_) / *rate;
}

double BatchEstimate::fileSeconds(int index) const {
    return index >= 0 && index < int(seconds_.size()) ? seconds_[index] : 0.0;
}

QString durationText(double seconds) {
    const long long whole = std::llround(std::ceil(std::max(0.0, seconds)));
    const long long hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
    const QString tail = QStringLiteral("%1").arg(rest, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(tail);
    return QStringLiteral("%1:%2").arg(minutes).arg(tail);
}

QString batchCaption(const QString& doing, int position, int count, std::optional<double> left) {
    QString caption = QStringLiteral("%1... (%2 of %3").arg(doing).arg(position).arg(count);
    if (left)
        caption += QStringLiteral(", %1 left").arg(durationText(*left));
    return caption + QLatin1Char(')');
}

} // namespace selection
