#include "support/PulseDaemon.h"

#include "support/TestEnv.h"

#include <QFile>
#include <QProcessEnvironment>

#include <csignal>

namespace velloq::test {

bool PulseDaemon::start() {
    QFile config(dir_ + QStringLiteral("/default.pa"));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write("load-module module-native-protocol-unix socket=" + QFile::encodeName(dir_) +
                 "/native auth-anonymous=1\n"
                 "load-module module-null-sink sink_name=velloq_null_sink\n"
                 "load-module module-null-source source_name=velloq_null_source\n"
                 "set-default-sink velloq_null_sink\n"
                 "set-default-source velloq_null_source\n");
    config.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir_);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_);
    env.remove(QStringLiteral("PULSE_SERVER"));
    // The session's own daemon holds org.PulseAudio1 on the bus; this one stays off it.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("DISPLAY"));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                    QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit=yes"),
                    QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-level=1"),
                    QStringLiteral("--log-target=file:") + dir_ + QStringLiteral("/log"),
                    QStringLiteral("-F"), config.fileName()});
    if (!process_.waitForStarted())
        return false;
    return waitUntil([&] { return pactl({QStringLiteral("info")}).has_value(); }, 10000);
}

void PulseDaemon::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished();
}

void PulseDaemon::pause() {
    ::kill(pid_t(process_.processId()), SIGSTOP);
}
void PulseDaemon::resume() {
    ::kill(pid_t(process_.processId()), SIGCONT);
}

std::optional<QString> PulseDaemon::pactl(const QStringList& args) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), server());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("pactl"), args);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput());
}

std::optional<int> PulseDaemon::rawVolume(const QString& kind, const QString& name) const {
    const auto out = pactl({QStringLiteral("get-%1-volume").arg(kind), name});
    if (!out)
        return std::nullopt;
    // "Volume: front-left: 32768 /  50% / -18.06 dB, ..."
    const QStringList parts = out->simplified().split(u' ');
    const qsizetype at = parts.indexOf(QStringLiteral("front-left:"));
    if (at < 0 || at + 1 >= parts.size())
        return std::nullopt;
    return parts.at(at + 1).toInt();
}

} // namespace velloq::test
