// The end-of-batch notification on a private session bus whose notification service takes the
// call and never answers: the window does not wait for it.
#include "tests/support/gui_test.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>

#include <mutex>

using namespace testsupport;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// Owns the notification service on its own connection, keeps the summary of every call and
// answers none.
class SilentNotifications final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const std::lock_guard lock(mutex_);
        if (message.member() == "Notify" && message.arguments().size() > 4)
            said_.append(message.arguments()[3].toString() + "|" +
                         message.arguments()[4].toString());
        return true; // taken, and left without a reply
    }
    QStringList said() const {
        const std::lock_guard lock(mutex_);
        return said_;
    }

private:
    mutable std::mutex mutex_;
    QStringList said_;
};

} // namespace

TEST(Notification, AServiceThatNeverAnswersDoesNotHoldTheWindow) {
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForReadyRead(10000))
        GTEST_SKIP() << "dbus-daemon did not start";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    // The program's session bus is the private one: nothing here has used D-Bus before.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    SilentNotifications service;
    {
        QDBusConnection connection = QDBusConnection::connectToBus(address, "silent");
        ASSERT_TRUE(connection.registerVirtualObject("/org/freedesktop/Notifications", &service));
        ASSERT_TRUE(connection.registerService(kService));
    }

    // The house encoder behind a wrapper that first waits 11 s: the batch is a long one.
    TestWorld world;
    world.installFromBuild({"mp3.dll"});
    const QString encoder = world.programDir() + "/mp3.dll";
    ASSERT_TRUE(QFile::rename(encoder, world.programDir() + "/real-encoder"));
    world.writeFile("program/mp3.dll",
                    "#!/bin/sh\nsleep 11\nexec \"$(dirname \"$0\")/real-encoder\" \"$@\"\n");
    QFile(encoder).setPermissions(QFile(encoder).permissions() | QFileDevice::ExeOwner);
    const QString wavs = world.makeDirectory("wavs");
    makeWav(wavs + "/song.wav", 1, 44100, 2);
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs, world.makeDirectory("out") + "/");
    queueAll(form);
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).Bitrate->setEditText("128 Kbit/s");
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTest::qWait(50);

    QElapsedTimer clock;
    clock.start();
    click(ui(form).encstart);
    const qint64 took = clock.elapsed();

    EXPECT_TRUE(QTest::qWaitFor([&] { return !service.said().isEmpty(); }, 5000));
    EXPECT_EQ(service.said(), QStringList({"Encoding finished|1 file converted, 0 failed"}));
    // The encoder's 11 s and its second of audio; waiting on the reply would add 10 s.
    EXPECT_LT(took, 15000);
    QDBusConnection::disconnectFromBus("silent");
    bus.terminate();
    bus.waitForFinished(5000);
}
