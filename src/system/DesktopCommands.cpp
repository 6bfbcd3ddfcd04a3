#include "system/DesktopCommands.h"

#include "support/Log.h"
#include "system/LinuxKeySender.h"
#include "system/ProcessLauncher.h"
#include "system/SessionBusCall.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace velloq::DesktopCommands {

namespace {

const QString kGnomeSchema = QStringLiteral("org.gnome.desktop.interface");
const QString kColorScheme = QStringLiteral("color-scheme");

bool desktopIs(const char* name) {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return desktops.contains(QLatin1String(name), Qt::CaseInsensitive);
}

void logRunFailure(const QString& command, const QString& reason) {
    logLine(QStringLiteral("Could not run ") + command + QStringLiteral(": ") + reason);
}

QString kdeColorScheme() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    QFile file(configHome + QStringLiteral("/kdeglobals"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inGeneral = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inGeneral = line == u"[General]";
        } else if (inGeneral && line.startsWith(QStringLiteral("ColorScheme="))) {
            return line.mid(12).trimmed();
        }
    }
    return QString();
}

void toggleGnomeColorScheme(ProcessLauncher& launcher, QObject* context) {
    auto* reader = new QProcess(context);
    reader->setProgram(QStringLiteral("gsettings"));
    reader->setArguments({QStringLiteral("get"), kGnomeSchema, kColorScheme});
    reader->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(reader, &QProcess::errorOccurred, context,
                     [reader](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         logRunFailure(QStringLiteral("gsettings"), reader->errorString());
                         reader->deleteLater();
                     });
    QObject::connect(
        reader, &QProcess::finished, context,
        [reader, &launcher](int exitCode, QProcess::ExitStatus status) {
            reader->deleteLater();
            if (status != QProcess::NormalExit || exitCode != 0) {
                const QString why = QString::fromUtf8(reader->readAllStandardError()).trimmed();
                logRunFailure(QStringLiteral("gsettings"),
                              why.isEmpty() ? QStringLiteral("exit status %1").arg(exitCode) : why);
                return;
            }
            const QString current = QString::fromUtf8(reader->readAllStandardOutput()).trimmed();
            const QString next = current == u"'prefer-dark'" ? QStringLiteral("default")
                                                             : QStringLiteral("prefer-dark");
            runProcess(launcher, QStringLiteral("gsettings"),
                       {QStringLiteral("set"), kGnomeSchema, kColorScheme, next});
        });
    reader->start();
}

} // namespace

Desktop currentDesktop() {
    if (desktopIs("KDE"))
        return Desktop::plasma;
    if (desktopIs("GNOME"))
        return Desktop::gnome;
    return Desktop::other;
}

bool isX11Session() {
    return LinuxKeySender::isX11Session();
}

void requestScreenshot(QObject* context, std::function<void()> fallback) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("interactive"), true}};
    callSessionServiceOrFallBack(call, QStringLiteral("the screenshot portal"), context,
                                 std::move(fallback));
}

void showRunner(QObject* context, std::function<void()> fallback) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.krunner"), QStringLiteral("/App"),
        QStringLiteral("org.kde.krunner.App"), QStringLiteral("display"));
    callSessionServiceOrFallBack(call, QStringLiteral("KRunner"), context, std::move(fallback));
}

void sleepDisplay(ProcessLauncher& launcher, QObject* context) {
    if (isX11Session()) {
        runProcess(launcher, QStringLiteral("xset"),
                   {QStringLiteral("dpms"), QStringLiteral("force"), QStringLiteral("off")});
        return;
    }
    switch (currentDesktop()) {
    case Desktop::plasma:
        runProcess(launcher, QStringLiteral("kscreen-doctor"),
                   {QStringLiteral("--dpms"), QStringLiteral("off")});
        return;
    case Desktop::gnome: {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Mutter.DisplayConfig"),
            QStringLiteral("/org/gnome/Mutter/DisplayConfig"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        call << QStringLiteral("org.gnome.Mutter.DisplayConfig") << QStringLiteral("PowerSaveMode")
             << QVariant::fromValue(QDBusVariant(3));
        callSessionServiceOrFallBack(
            call, QStringLiteral("org.gnome.Mutter.DisplayConfig PowerSaveMode"), context, {});
        return;
    }
    case Desktop::other:
        logRunFailure(QStringLiteral("display sleep"),
                      QStringLiteral("this desktop offers no way to turn the display off"));
        return;
    }
}

void toggleDarkMode(ProcessLauncher& launcher, QObject* context) {
    if (currentDesktop() == Desktop::plasma) {
        const bool dark = kdeColorScheme().contains(QStringLiteral("Dark"), Qt::CaseInsensitive);
        runProcess(launcher, QStringLiteral("plasma-apply-colorscheme"),
                   {dark ? QStringLiteral("BreezeLight") : QStringLiteral("BreezeDark")});
        return;
    }
    toggleGnomeColorScheme(launcher, context);
}

} // namespace velloq::DesktopCommands
