// The failure box of a batch: up to 20 lines in the box, the rest counted, all in the details.
#include "app/engine/batch_summary.h"

#include <gtest/gtest.h>

namespace {

QStringList failures(int count) {
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines.append(QStringLiteral("song%1.wav: cannot read").arg(i));
    return lines;
}

TEST(FailureBox, NoFailureNoBox) {
    EXPECT_FALSE(app::summariseFailures({}, 12).has_value());
}

TEST(FailureBox, ShowsTwentyLinesAndCountsTheRest) {
    struct Case {
        int failed;
        int shown;    // lines in the box
        QString more; // the box's last line
        bool details; // the whole list unfolds under the box
    };
    const Case cases[] = {
        {1, 1, "song1.wav: cannot read", false},
        {20, 20, "song20.wav: cannot read", false},
        {21, 20, "... and 1 more", true},
        {45, 20, "... and 25 more", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failed);
        const auto summary = app::summariseFailures(failures(c.failed), 50);
        ASSERT_TRUE(summary.has_value());
        const QStringList lines = summary->text.split(QLatin1Char('\r'));
        EXPECT_EQ(lines.first(), QStringLiteral("%1 of 50 files failed:").arg(c.failed));
        EXPECT_EQ(lines.mid(1, c.shown), failures(c.failed).mid(0, c.shown));
        EXPECT_EQ(lines.size(), 1 + c.shown + (c.details ? 1 : 0));
        EXPECT_EQ(lines.last(), c.more);
        EXPECT_EQ(summary->details, c.details ? failures(c.failed).join('\n') : QString());
    }
}

} // namespace
