// The guard that every event handler runs inside, and the width a progress window's caption
// needs.
#include "tests/support/scripted_dialogs.h"
#include "widgets/error_report.h"
#include "widgets/window_geometry.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace {

TEST(HandlerGuard, AnExceptionEndsTheHandlerInAStopBox) {
    struct Case {
        std::function<void()> fail;
        QString shown;
    };
    const Case cases[] = {
        {[] { throw std::runtime_error("I/O error 17"); }, "I/O error 17."},
        {[] { throw std::runtime_error("Disk full!"); }, "Disk full!"},
        {[] { throw 17; }, "Unexpected error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        testsupport::ScriptedDialogs dialogs;
        int step = 0;
        widgets::guarded(dialogs, [&] {
            step = 1;
            c.fail();
            step = 2;
        });
        EXPECT_EQ(step, 1); // what ran before the exception stays done
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].icon, widgets::MessageIcon::Stop);
        EXPECT_EQ(dialogs.messages[0].caption, "Sonabox");
        EXPECT_EQ(dialogs.messages[0].text, c.shown);
    }
}

TEST(HandlerGuard, AHandlerThatSucceedsShowsNothing) {
    testsupport::ScriptedDialogs dialogs;
    bool ran = false;
    widgets::guarded(dialogs, [&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(dialogs.messages.empty());
}

// Dialogs that cannot show a box (no memory for it).
class FailingDialogs final : public widgets::Dialogs {
public:
    void message(QWidget*, widgets::MessageIcon, const QString&, const QString&) override {
        throw std::bad_alloc();
    }
    void message(QWidget*, widgets::MessageIcon, const QString&, const QString&,
                 const QString&) override {
        throw std::bad_alloc();
    }
    std::optional<QString> textInput(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    void openUrl(const QUrl&) override {}
};

TEST(HandlerGuard, AFailedReportStaysInTheGuard) {
    FailingDialogs dialogs;
    widgets::guarded(dialogs, [] { throw std::runtime_error("first"); });
    SUCCEED(); // an exception out of the noexcept guard would have ended the program
}

TEST(CaptionWidth, NeverBelowTheDesignAndWiderForLongerCaptions) {
    const int design = 300;
    EXPECT_EQ(widgets::widthForCaption("Encoding...", design), design);
    const QString long1 = QStringLiteral("Encoding... (2 of 12, 1:23 left) ").repeated(2);
    const QString long2 = long1.repeated(2);
    EXPECT_GT(widgets::widthForCaption(long1, design), design);
    EXPECT_GT(widgets::widthForCaption(long2, design), widgets::widthForCaption(long1, design));
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
