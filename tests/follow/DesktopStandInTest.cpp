// The KWin script and the GNOME Shell extension, each run by a stand-in for its desktop on a
// bus of the test's own, reporting to Velloq's watcher.

#include "PrivateBus.h"

#include "follow/ActiveAppService.h"
#include "follow/GnomeActiveAppWatcher.h"
#include "follow/KWinActiveAppWatcher.h"
#include "support/TestEnv.h"

#include <QDBusMessage>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velloq::test {
namespace {

const QString kStandIns = QStringLiteral(VELLOQ_FOLLOW_TEST_DIR);

QVariant ask(QDBusConnection& bus, const QString& service, const QString& path,
             const QString& interface, const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::Block, 5000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments().value(0);
}

WindowIdentity lastReport(const QSignalSpy& spy) {
    return spy.constLast().at(0).value<WindowIdentity>();
}

class KWinScript : public ::testing::Test {
protected:
    std::unique_ptr<QProcess> startKWin(bool plasma5) {
        QStringList arguments{QStringLiteral("-m"),
                              kStandIns + QStringLiteral("/kwin-stand-in.js")};
        if (plasma5)
            arguments << QStringLiteral("--plasma5");
        return bus.start(QStringLiteral(VELLOQ_GJS), arguments);
    }
    QVariant kwin(const QString& method, const QVariantList& arguments = {}) {
        return ask(velloq, QStringLiteral("org.kde.KWin"), QStringLiteral("/org/velloq/test/KWin"),
                   QStringLiteral("org.velloq.test.KWin"), method, arguments);
    }

    PrivateBus bus;
    QDBusConnection velloq = bus.connect(QStringLiteral("velloq"));
};

TEST_F(KWinScript, IsLoadedRunAndReportsEachActivatedWindow) {
    ASSERT_TRUE(bus.isUp());
    auto kwinProcess = startKWin(false);
    ASSERT_TRUE(kwinProcess);
    auto watcher = std::make_unique<KWinActiveAppWatcher>(velloq, scratchDir());
    QSignalSpy reports(watcher.get(), &ActiveAppWatcher::activated);
    watcher->start();
    // On start the script tells of the window in front now: none.
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 1; }));
    EXPECT_TRUE(lastReport(reports).isEmpty());
    EXPECT_EQ(kwin(QStringLiteral("Loaded")).toStringList(),
              QStringList{KWinActiveAppWatcher::pluginName()});

    kwin(QStringLiteral("Activate"), {QStringLiteral("org.kde.dolphin"), QStringLiteral("dolphin"),
                                      QStringLiteral("dolphin"), 4321});
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 2; }));
    EXPECT_EQ(lastReport(reports),
              (WindowIdentity{QStringLiteral("org.kde.dolphin"), QStringLiteral("dolphin"),
                              QStringLiteral("dolphin"), 4321}));

    // Stopping unloads the script; nothing reports after it.
    watcher->stop();
    ASSERT_TRUE(waitUntil([&] { return kwin(QStringLiteral("Loaded")).toStringList().isEmpty(); }));
    EXPECT_EQ(kwin(QStringLiteral("Problems")).toStringList(), QStringList());
    watcher.reset();
    EXPECT_EQ(kwin(QStringLiteral("Unloads")).toInt(), 1);
}

TEST_F(KWinScript, PlasmaFiveAndAKWinRestartAreFollowedAndQuittingUnloads) {
    ASSERT_TRUE(bus.isUp());
    auto kwinProcess = startKWin(true);
    ASSERT_TRUE(kwinProcess);
    // A Velloq that crashed left its script behind: it is replaced.
    const QString stale = scratchDir() + QStringLiteral("/stale.js");
    QFile file(stale);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_EQ(ask(velloq, QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                  QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("loadScript"),
                  {stale, KWinActiveAppWatcher::pluginName()})
                  .toInt(),
              0);

    auto watcher = std::make_unique<KWinActiveAppWatcher>(velloq, scratchDir());
    QSignalSpy reports(watcher.get(), &ActiveAppWatcher::activated);
    watcher->start();
    ASSERT_TRUE(waitUntil([&] { return kwin(QStringLiteral("Listeners")).toInt() == 1; }));
    EXPECT_EQ(kwin(QStringLiteral("Unloads")).toInt(), 1);
    // Plasma 5 hands the class and the instance over as byte arrays.
    kwin(QStringLiteral("Activate"),
         {QString(), QStringLiteral("Krita"), QStringLiteral("krita"), 99});
    ASSERT_TRUE(waitUntil([&] { return !reports.isEmpty() && lastReport(reports).pid == 99; }));
    EXPECT_EQ(lastReport(reports),
              (WindowIdentity{QString(), QStringLiteral("Krita"), QStringLiteral("krita"), 99}));
    EXPECT_EQ(kwin(QStringLiteral("Problems")).toStringList(), QStringList());

    // KWin restarts (Plasma 6 this time): the script is loaded into the new one.
    kwinProcess->kill();
    kwinProcess->waitForFinished();
    kwinProcess = startKWin(false);
    ASSERT_TRUE(kwinProcess);
    ASSERT_TRUE(waitUntil([&] { return kwin(QStringLiteral("Listeners")).toInt() == 1; }));
    kwin(QStringLiteral("Activate"), {QStringLiteral("org.kde.kate"), QString(), QString(), 7});
    ASSERT_TRUE(waitUntil([&] { return lastReport(reports).pid == 7; }));
    EXPECT_EQ(lastReport(reports).appId, QStringLiteral("org.kde.kate"));

    // Quitting: the script is gone from KWin before Velloq is.
    watcher.reset();
    EXPECT_EQ(kwin(QStringLiteral("Unloads")).toInt(), 1);
    EXPECT_TRUE(kwin(QStringLiteral("Loaded")).toStringList().isEmpty());
}

// Both forms of the extension: ES modules (GNOME 45 on) and the older one (43 and 44).
class GnomeExtension : public ::testing::TestWithParam<const char*> {};

TEST_P(GnomeExtension, ReportsTheFocusedAppWhileVelloqWatches) {
    const QString uuid = QString::fromLatin1(GetParam());
    PrivateBus bus;
    ASSERT_TRUE(bus.isUp());
    auto shell =
        bus.start(QStringLiteral(VELLOQ_GJS),
                  {QStringLiteral("-m"), kStandIns + QStringLiteral("/gnome-shell-stand-in.js"),
                   QStringLiteral(VELLOQ_GNOME_EXTENSIONS) + u'/' + uuid});
    ASSERT_TRUE(shell);
    QDBusConnection velloq = bus.connect(QStringLiteral("velloq"));
    ASSERT_TRUE(velloq.registerService(QStringLiteral("app.velloq.Velloq")));
    const auto shellCall = [&](const QString& method, const QVariantList& arguments) {
        return ask(velloq, QStringLiteral("org.gnome.Shell"),
                   QStringLiteral("/org/velloq/test/Shell"),
                   QStringLiteral("org.velloq.test.Shell"), method, arguments);
    };
    const auto listeners = [&] { return shellCall(QStringLiteral("Listeners"), {}).toInt(); };

    GnomeActiveAppWatcher watcher(velloq);
    QSignalSpy reports(&watcher, &ActiveAppWatcher::activated);
    // Installed but off: Settings shows the command that turns it on.
    ASSERT_TRUE(waitUntil(
        [&] { return watcher.availability() == ActiveAppWatcher::Availability::extensionOff; }));
    EXPECT_EQ(watcher.enableCommand(), QStringLiteral("gnome-extensions enable ") + uuid);
    EXPECT_TRUE(ask(velloq, QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                    QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("EnableExtension"),
                    {uuid})
                    .toBool());
    ASSERT_TRUE(waitUntil(
        [&] { return watcher.availability() == ActiveAppWatcher::Availability::available; }));

    // Enabled, but Velloq does not watch yet: the extension listens to nothing.
    shellCall(QStringLiteral("Focus"),
              {QStringLiteral("org.gnome.Nautilus.desktop"), QString(),
               QStringLiteral("org.gnome.Nautilus"), QStringLiteral("org.gnome.Nautilus"), 55});
    EXPECT_EQ(listeners(), 0);

    watcher.start();
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 1; }));
    EXPECT_EQ(lastReport(reports), (WindowIdentity{QStringLiteral("org.gnome.Nautilus.desktop"),
                                                   QStringLiteral("org.gnome.Nautilus"),
                                                   QStringLiteral("org.gnome.Nautilus"), 55}));
    // A window the shell has no app for gives the toolkit's id.
    shellCall(QStringLiteral("Focus"),
              {QStringLiteral("window:3"), QStringLiteral("org.example.Tool"),
               QStringLiteral("tool"), QString(), 0});
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 2; }));
    EXPECT_EQ(lastReport(reports),
              (WindowIdentity{QStringLiteral("org.example.Tool"), QStringLiteral("tool"), {}, 0}));
    shellCall(QStringLiteral("Focus"), {QString(), QString(), QString(), QString(), 0});
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 3; }));
    EXPECT_TRUE(lastReport(reports).isEmpty());

    watcher.stop();
    ASSERT_TRUE(waitUntil([&] { return listeners() == 0; }));
    ask(velloq, QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("DisableExtension"), {uuid});
    ASSERT_TRUE(waitUntil(
        [&] { return watcher.availability() == ActiveAppWatcher::Availability::extensionOff; }));
}

INSTANTIATE_TEST_SUITE_P(Forms, GnomeExtension,
                         ::testing::Values("velloq@velloq.app", "velloq-legacy@velloq.app"));

} // namespace
} // namespace velloq::test
