// Velloq's extension in the real GNOME Shell, run headless on buses of the test's own, with
// native Wayland windows coming to the front as the test opens and closes them.

#include "PrivateBus.h"

#include "follow/GnomeActiveAppWatcher.h"
#include "support/TestEnv.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velloq::test {
namespace {

// GNOME 45 and later load ES modules, GNOME 43 and 44 the older form.
QString extensionForThisShell() {
    QProcess version;
    version.start(QStringLiteral(VELLOQ_GNOME_SHELL), {QStringLiteral("--version")});
    version.waitForFinished();
    const int major = QString::fromUtf8(version.readAllStandardOutput())
                          .section(u' ', 2, 2)
                          .section(u'.', 0, 0)
                          .toInt();
    return major >= 45 ? GnomeActiveAppWatcher::extensionUuid()
                       : GnomeActiveAppWatcher::legacyExtensionUuid();
}

bool copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        if (!QFile::copy(from + u'/' + name, to + u'/' + name))
            return false;
    }
    return true;
}

TEST(GnomeShellHeadless, TheRealExtensionReportsTheAppInFront) {
    PrivateBus session;
    PrivateBus system; // the shell asks logind there, and finds none
    ASSERT_TRUE(session.isUp() && system.isUp());
    const QString uuid = extensionForThisShell();
    const QString dataHome = scratchDir() + QStringLiteral("/shell-data");
    ASSERT_TRUE(copyFolder(QStringLiteral(VELLOQ_GNOME_EXTENSIONS) + u'/' + uuid,
                           dataHome + QStringLiteral("/gnome-shell/extensions/") + uuid));
    // The shell knows the editor's app by its desktop entry, the viewer only by its app id.
    QDir().mkpath(dataHome + QStringLiteral("/applications"));
    QFile entry(dataHome + QStringLiteral("/applications/org.velloq.TestEditor.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Test Editor\nExec=true\n");
    entry.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), system.address());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("velloq-test-wayland"));
    const auto start = [&](const QString& program, const QStringList& arguments,
                           const QByteArray& ready) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = environment;
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session.address());
        process->setProcessEnvironment(env);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted());
        if (!ready.isEmpty()) {
            EXPECT_TRUE(
                waitUntil([&] { return process->readAllStandardOutput().contains(ready); }, 60000));
        }
        return process;
    };
    auto shell = start(QStringLiteral(VELLOQ_GNOME_SHELL),
                       {QStringLiteral("--headless"), QStringLiteral("--wayland"),
                        QStringLiteral("--no-x11"), QStringLiteral("--wayland-display"),
                        QStringLiteral("velloq-test-wayland"), QStringLiteral("--virtual-monitor"),
                        QStringLiteral("1024x768")},
                       {});
    shell->setProcessChannelMode(QProcess::MergedChannels);

    QDBusConnection velloq = session.connect(QStringLiteral("velloq-shell"));
    ASSERT_TRUE(velloq.registerService(QStringLiteral("app.velloq.Velloq")));
    // Up once the shell has loaded its extensions, ours among them.
    QDBusMessage info = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"));
    info << uuid;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QDBusMessage reply = velloq.call(info, QDBus::Block, 1000);
            return reply.type() == QDBusMessage::ReplyMessage &&
                   !qdbus_cast<QVariantMap>(reply.arguments().value(0)).isEmpty();
        },
        90000))
        << "GNOME Shell did not start";
    auto watcher = std::make_unique<GnomeActiveAppWatcher>(velloq);
    // Installed, not enabled yet.
    ASSERT_TRUE(waitUntil(
        [&] { return watcher->availability() == ActiveAppWatcher::Availability::extensionOff; },
        10000));
    QDBusMessage enable = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("EnableExtension"));
    enable << uuid;
    EXPECT_EQ(velloq.call(enable, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitUntil(
        [&] { return watcher->availability() == ActiveAppWatcher::Availability::available; },
        10000));

    // The shell starts in the overview, which holds the focus: leave it once it is there, as
    // a user would.
    const auto overview = [&](std::optional<bool> set) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
            QStringLiteral("org.freedesktop.DBus.Properties"),
            set ? QStringLiteral("Set") : QStringLiteral("Get"));
        message << QStringLiteral("org.gnome.Shell") << QStringLiteral("OverviewActive");
        if (set)
            message << QVariant::fromValue(QDBusVariant(*set));
        const QDBusMessage reply = velloq.call(message, QDBus::Block, 10000);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    };
    waitUntil([&] { return overview(std::nullopt); }, 20000);
    overview(false);
    ASSERT_TRUE(waitUntil([&] { return !overview(std::nullopt); }, 10000));

    QSignalSpy reports(watcher.get(), &ActiveAppWatcher::activated);
    watcher->start();
    const auto reported = [&](const QString& appId) {
        return waitUntil(
            [&] {
                return !reports.isEmpty() &&
                       reports.constLast().at(0).value<WindowIdentity>().appId == appId;
            },
            30000);
    };
    const QString window =
        QStringLiteral(VELLOQ_FOLLOW_TEST_DIR) + QStringLiteral("/wayland-window.js");
    auto editor = start(QStringLiteral(VELLOQ_GJS),
                        {window, QStringLiteral("org.velloq.TestEditor")}, "ready");
    EXPECT_TRUE(reported(QStringLiteral("org.velloq.TestEditor.desktop")));
    EXPECT_EQ(reports.constLast().at(0).value<WindowIdentity>().pid, pid_t(editor->processId()));
    auto viewer = start(QStringLiteral(VELLOQ_GJS),
                        {window, QStringLiteral("org.velloq.TestViewer")}, "ready");
    EXPECT_TRUE(reported(QStringLiteral("org.velloq.TestViewer")));
    viewer->kill(); // the editor comes back to the front
    EXPECT_TRUE(reported(QStringLiteral("org.velloq.TestEditor.desktop")));

    watcher->stop();
    editor->kill();
    editor->waitForFinished();
    viewer->waitForFinished();
    shell->terminate();
    if (!shell->waitForFinished(10000))
        shell->kill();
}

} // namespace
} // namespace velloq::test
