// The progress lines as the programs print them and as a batch reads them.
#include "tools/encoders/core/batch_protocol.h"

#include <gtest/gtest.h>

namespace {

using encoders::protocol::codingOver;
using encoders::protocol::noteLine;
using encoders::protocol::notesIn;
using encoders::protocol::percentsDone;
using encoders::protocol::progressLine;

TEST(BatchProtocol, ProgressLinesReadBackAsPrinted) {
    const struct {
        std::string text;
        std::vector<int> percents;
        bool over;
    } cases[] = {
        {progressLine(0) + "\n" + progressLine(25) + "\n", {0, 25}, false},
        {"Encoding a.wav\n" + progressLine(75) + "\n" + progressLine(100) + "\nWritten a.mp3\n",
         {75, 100},
         true},
        {progressLine(100), {100}, true},
        // The start of a line cut off by a read: no digits, no percentage.
        {"% done\n  5", {}, false},
        {"x1100% done", {1100}, false},
        {"99999999999999999999% done", {}, false},
        {"done 50%", {}, false},
        {"", {}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(percentsDone(c.text), c.percents) << c.text;
        EXPECT_EQ(codingOver(c.text), c.over) << c.text;
    }
    EXPECT_EQ(progressLine(50), "  50% done");
}

TEST(BatchProtocol, NoteLinesReadBackAsPrinted) {
    const struct {
        std::string text;
        std::vector<std::string> notes;
    } cases[] = {
        {"Encoding a.flac\n" + noteLine("mixed down from 6 channels") + "\n" + progressLine(25) +
             "\n",
         {"mixed down from 6 channels"}},
        {noteLine("one") + "\r\n" + noteLine("two"), {"one", "two"}},
        // Only a line that starts with the mark is a note.
        {"x" + noteLine("not one") + "\n" + noteLine("") + "\n", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(notesIn(c.text), c.notes) << c.text;
}

} // namespace
