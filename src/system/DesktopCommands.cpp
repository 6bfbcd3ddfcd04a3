#include "system/DesktopCommands.h"

#include "support/Log.h"
#include "system/LinuxKeySender.h"
#include "system/ProcessLauncher.h"
#include "system/SessionBusCall.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>
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

void toggleGnomeColorScheme(QObject* context, int timeoutMs) {
    runWithTimeLimit(QStringLiteral("gsettings"),
                     {QStringLiteral("get"), kGnomeSchema, kColorScheme}, context, timeoutMs,
                     [context, timeoutMs](const QByteArray& output) {
                         const QString next = output.trimmed() == "'prefer-dark'"
                                                  ? QStringLiteral("default")
                                                  : QStringLiteral("prefer-dark");
                         runWithTimeLimit(QStringLiteral("gsettings"),
                                          {QStringLiteral("set"), kGnomeSchema, kColorScheme, next},
                                          context, timeoutMs);
                     });
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

void runWithTimeLimit(const QString& program, const QStringList& arguments, QObject* context,
                      int timeoutMs, std::function<void(const QByteArray&)> succeeded) {
    auto* process = new QProcess(context);
    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    auto fail = [process, limit, program](const QString& reason) {
        logRunFailure(program, reason);
        limit->stop();
        process->disconnect();
        if (process->state() == QProcess::NotRunning) {
            process->deleteLater();
            return;
        }
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        process->kill();
    };
    QObject::connect(limit, &QTimer::timeout, process, [fail, timeoutMs] {
        fail(QStringLiteral("no result after %1 ms; stopped").arg(timeoutMs));
    });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, fail](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             fail(process->errorString());
                     });
    QObject::connect(
        process, &QProcess::finished, process,
        [process, limit, fail, succeeded = std::move(succeeded)](int exitCode,
                                                                 QProcess::ExitStatus status) {
            if (status != QProcess::NormalExit || exitCode != 0) {
                const QString why = QString::fromUtf8(process->readAllStandardError()).trimmed();
                fail(why.isEmpty() ? QStringLiteral("exit status %1").arg(exitCode) : why);
                return;
            }
            limit->stop();
            process->deleteLater();
            if (succeeded)
                succeeded(process->readAllStandardOutput());
        });
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(program, arguments);
    limit->start(timeoutMs);
}

void toggleDarkMode(QObject* context, int timeoutMs) {
    if (currentDesktop() == Desktop::plasma) {
        const bool dark = kdeColorScheme().contains(QStringLiteral("Dark"), Qt::CaseInsensitive);
        runWithTimeLimit(QStringLiteral("plasma-apply-colorscheme"),
                         {dark ? QStringLiteral("BreezeLight") : QStringLiteral("BreezeDark")},
                         context, timeoutMs);
        return;
    }
    toggleGnomeColorScheme(context, timeoutMs);
}

} // namespace velloq::DesktopCommands
