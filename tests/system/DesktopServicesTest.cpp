// Overview, show desktop and the input-access prompt against a private session bus with
// stand-ins for GNOME Shell, KWin's shortcuts and the notification server, and the EWMH
// toggle against the private X server the test fixture starts, acting as the window manager.
#include "system/DesktopCommands.h"
#include "system/LinuxDockFeatures.h"
#include "system/LinuxKeySender.h"
#include "system/LinuxPermissions.h"
#include "system/Notifier.h"

#include "support/TestEnv.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using namespace velloq;

namespace {

struct Press {
    uint16_t keyCode;
    uint64_t flags;
    bool operator==(const Press&) const = default;
};

class RecordingKeySender final : public KeySender {
public:
    std::vector<Press> presses;
    bool injectable = true;
    void press(uint16_t keyCode, uint64_t flags) override { presses.push_back({keyCode, flags}); }
    void postMediaKey(int, uint64_t) override {}
    bool canInject() override { return injectable; }
};

} // namespace

class FakeShell : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell")
    Q_PROPERTY(bool OverviewActive READ overviewActive WRITE setOverviewActive)
public:
    bool overviewActive() const { return active; }
    void setOverviewActive(bool value) { active = value; }
    bool active = false;
};

class FakeKWin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kglobalaccel.Component")
public:
    QStringList invoked;
public Q_SLOTS:
    void invokeShortcut(const QString& name) { invoked << name; }
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
    QStringList bodies;
public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        summaries << summary;
        bodies << body;
        return uint(summaries.size());
    }
};

// KRunner on a connection of its own, answering after `delayMs` or refusing.
class SlowRunner : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner.App")
public:
    explicit SlowRunner(QDBusConnection bus)
        : bus_(std::move(bus)) {}
    int delayMs = 0;
    bool refuse = false;
    int answered = 0;
public Q_SLOTS:
    void display(const QDBusMessage& message) {
        message.setDelayedReply(true);
        QTimer::singleShot(delayMs, this, [this, message] {
            bus_.send(refuse ? message.createErrorReply(QDBusError::AccessDenied,
                                                        QStringLiteral("not now"))
                             : message.createReply());
            ++answered;
        });
    }

private:
    QDBusConnection bus_;
};

#include "DesktopServicesTest.moc"

// X11 last: its macros clash with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// One private session bus per test process, set up before anything uses the session bus.
class PrivateBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static QTemporaryDir dir;
        static QProcess daemon;
        if (daemon.state() != QProcess::NotRunning)
            return;
        const QString address = QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("bus"));
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--address=") + address});
        if (!daemon.waitForStarted())
            return;
        test::waitUntil([&] { return QFile::exists(dir.filePath(QStringLiteral("bus"))); });
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }

    void SetUp() override {
        bus_ = QDBusConnection::sessionBus();
        if (!bus_.isConnected())
            GTEST_SKIP() << "no dbus-daemon";
        previousDesktop_ = qgetenv("XDG_CURRENT_DESKTOP");
    }
    void TearDown() override {
        for (const QString& name : registered_)
            bus_.unregisterService(name);
        for (const QString& path : paths_)
            bus_.unregisterObject(path);
        qputenv("XDG_CURRENT_DESKTOP", previousDesktop_);
    }

    void serve(const QString& service, const QString& path, QObject* object,
               QDBusConnection::RegisterOptions options) {
        ASSERT_TRUE(bus_.registerObject(path, object, options));
        ASSERT_TRUE(bus_.registerService(service));
        registered_ << service;
        paths_ << path;
    }

    QDBusConnection bus_{QString()};
    QByteArray previousDesktop_;
    QStringList registered_;
    QStringList paths_;
    RecordingKeySender keys_;
};

} // namespace

TEST_F(PrivateBus, OverviewThroughGnomeShellKWinOrSuper) {
    FakeShell shell;
    serve(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"), &shell,
          QDBusConnection::ExportAllProperties);
    FakeKWin kwin;
    serve(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/kwin"), &kwin,
          QDBusConnection::ExportAllSlots);
    LinuxDockFeatures features(keys_);

    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    features.missionControl();
    ASSERT_TRUE(test::waitUntil([&] { return shell.active; }));
    EXPECT_TRUE(keys_.presses.empty());

    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    features.missionControl();
    ASSERT_TRUE(test::waitUntil([&] { return !kwin.invoked.isEmpty(); }));
    EXPECT_EQ(kwin.invoked, QStringList{QStringLiteral("Overview")});
    EXPECT_TRUE(keys_.presses.empty());

    qputenv("XDG_CURRENT_DESKTOP", "XFCE");
    features.missionControl();
    EXPECT_EQ(keys_.presses, (std::vector<Press>{{55, 0}})); // a Super tap

    // GNOME without its shell on the bus falls back too.
    bus_.unregisterService(QStringLiteral("org.gnome.Shell"));
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    features.missionControl();
    EXPECT_TRUE(test::waitUntil([&] { return keys_.presses.size() == 2u; }));
}

TEST_F(PrivateBus, KeysFollowOnlyAnAbsentOrRefusingServiceNeverASlowOne) {
    QDBusConnection standIn = QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("krunner-stand-in"));
    ASSERT_TRUE(standIn.isConnected());
    SlowRunner runner(standIn);
    runner.delayMs = 1500; // longer than any limit a blocking call could afford
    ASSERT_TRUE(
        standIn.registerObject(QStringLiteral("/App"), &runner, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(standIn.registerService(QStringLiteral("org.kde.krunner")));
    QObject context;
    int fallbacks = 0;
    auto showRunner = [&] { DesktopCommands::showRunner(&context, [&] { ++fallbacks; }); };

    showRunner();
    ASSERT_TRUE(test::waitUntil([&] { return runner.answered == 1; }));
    runner.delayMs = 0;
    runner.refuse = true;
    showRunner(); // its refusal arrives after the slow answer
    ASSERT_TRUE(test::waitUntil([&] { return fallbacks > 0; }));
    EXPECT_EQ(fallbacks, 1);

    standIn.unregisterService(QStringLiteral("org.kde.krunner"));
    showRunner();
    ASSERT_TRUE(test::waitUntil([&] { return fallbacks == 2; }));
    EXPECT_EQ(runner.answered, 2);
    QDBusConnection::disconnectFromBus(QStringLiteral("krunner-stand-in"));
}

TEST_F(PrivateBus, ShowDesktopOnPlasmaWaylandOrSuperD) {
    FakeKWin kwin;
    serve(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/kwin"), &kwin,
          QDBusConnection::ExportAllSlots);
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("WAYLAND_DISPLAY", "wayland-velloq-test"); // not an X11 session
    LinuxDockFeatures features(keys_);

    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    features.showDesktop();
    ASSERT_TRUE(test::waitUntil([&] { return !kwin.invoked.isEmpty(); }));
    EXPECT_EQ(kwin.invoked, QStringList{QStringLiteral("Show Desktop")});
    qputenv("XDG_CURRENT_DESKTOP", "sway");
    features.showDesktop();
    EXPECT_EQ(keys_.presses, (std::vector<Press>{{2, KeySender::commandFlag}}));
    qunsetenv("WAYLAND_DISPLAY");
}

TEST_F(PrivateBus, FailedPressNotificationReachesTheNotificationServer) {
    FakeNotifications notifications;
    serve(QStringLiteral("org.freedesktop.Notifications"),
          QStringLiteral("/org/freedesktop/Notifications"), &notifications,
          QDBusConnection::ExportAllSlots);
    DesktopNotifier notifier;
    Notifier& asNotifier = notifier;
    asNotifier.notify(QStringLiteral("Could not run “Backup”"),
                      QStringLiteral("It ended with status 1."));
    ASSERT_TRUE(test::waitUntil([&] { return notifications.summaries.size() == 1; }));
    EXPECT_EQ(notifications.summaries[0], u"Could not run “Backup”");
    EXPECT_EQ(notifications.bodies[0], u"It ended with status 1.");
}

TEST_F(PrivateBus, PromptIsANotificationAndTheHelpShowsTheCommand) {
    FakeNotifications notifications;
    serve(QStringLiteral("org.freedesktop.Notifications"),
          QStringLiteral("/org/freedesktop/Notifications"), &notifications,
          QDBusConnection::ExportAllSlots);
    LinuxPermissions permissions(keys_);
    EXPECT_TRUE(permissions.inputAccess());
    keys_.injectable = false;
    EXPECT_FALSE(permissions.inputAccess());

    permissions.promptForInputAccess();
    permissions.promptForInputAccess(); // as often as asked
    ASSERT_TRUE(test::waitUntil([&] { return notifications.summaries.size() == 2; }));
    EXPECT_EQ(notifications.summaries[0], LinuxPermissions::promptTitle());
    EXPECT_TRUE(notifications.bodies[0].contains(QStringLiteral("need input access")));

    permissions.openAccessibilitySettings();
    QDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
            dialog = d;
    }
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), u"Input access");
    auto* command = dialog->findChild<QLineEdit*>(QStringLiteral("command"));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->text(), LinuxPermissions::udevRuleCommand());
    EXPECT_TRUE(command->text().contains(QStringLiteral("KERNEL==\"uinput\"")));
    EXPECT_TRUE(command->text().contains(QStringLiteral("TAG+=\"uaccess\"")));
    permissions.openAccessibilitySettings(); // reused, not a second dialog
    int visible = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        visible += qobject_cast<QDialog*>(w) && w->isVisible();
    EXPECT_EQ(visible, 1);
}

// The test plays the window manager: it claims substructure redirection on the root window,
// announces _NET_SHOWING_DESKTOP and reads the client messages Velloq sends.
TEST(ShowDesktopX11, TogglesThroughEwmhAndFallsBackWithoutSupport) {
    if (!LinuxKeySender::isX11Session())
        GTEST_SKIP() << "needs an X11 session (ctest starts a private X server)";
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_TRUE(dpy);
    const Window root = DefaultRootWindow(dpy);
    const Atom supported = XInternAtom(dpy, "_NET_SUPPORTED", False);
    const Atom showing = XInternAtom(dpy, "_NET_SHOWING_DESKTOP", False);

    RecordingKeySender keys;
    LinuxDockFeatures features(keys);
    XDeleteProperty(dpy, root, supported);
    XSync(dpy, False);
    features.showDesktop();
    EXPECT_EQ(keys.presses, (std::vector<Press>{{2, KeySender::commandFlag}}));

    XSelectInput(dpy, root, SubstructureRedirectMask);
    XChangeProperty(dpy, root, supported, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&showing), 1);
    XSync(dpy, False);

    auto nextRequest = [&]() -> long {
        long value = -1;
        test::waitUntil([&] {
            while (XPending(dpy)) {
                XEvent event;
                XNextEvent(dpy, &event);
                if (event.type == ClientMessage && event.xclient.message_type == showing)
                    value = event.xclient.data.l[0];
            }
            return value >= 0;
        });
        return value;
    };
    features.showDesktop();
    EXPECT_EQ(nextRequest(), 1);
    const long on = 1;
    XChangeProperty(dpy, root, showing, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&on), 1);
    XSync(dpy, False);
    features.showDesktop();
    EXPECT_EQ(nextRequest(), 0);
    EXPECT_EQ(keys.presses.size(), 1u); // no key fallback while the toggle works

    XDeleteProperty(dpy, root, supported);
    XDeleteProperty(dpy, root, showing);
    XCloseDisplay(dpy);
}
