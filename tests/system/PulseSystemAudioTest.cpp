// SystemAudio against real PulseAudio daemons with a null sink and a null source. Each test
// starts its own daemon, so tests can run in parallel and stop or restart it freely.
#include "system/PulseSystemAudio.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

using namespace velloq;

namespace {

class PulseDaemon {
public:
    explicit PulseDaemon(const QString& dir)
        : dir_(dir) {}
    ~PulseDaemon() { stop(); }

    QString server() const { return QStringLiteral("unix:") + dir_ + QStringLiteral("/native"); }

    bool start() {
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
                        QStringLiteral("--exit-idle-time=-1"),
                        QStringLiteral("--disallow-exit=yes"), QStringLiteral("--use-pid-file=no"),
                        QStringLiteral("--log-level=1"),
                        QStringLiteral("--log-target=file:") + dir_ + QStringLiteral("/log"),
                        QStringLiteral("-F"), config.fileName()});
        if (!process_.waitForStarted())
            return false;
        return test::waitUntil([&] { return pactl({QStringLiteral("info")}).has_value(); }, 10000);
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished();
    }

    void pause() { ::kill(pid_t(process_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(process_.processId()), SIGCONT); }

    // pactl against this daemon; none when it fails.
    std::optional<QString> pactl(const QStringList& args) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), server());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("pactl"), args);
        if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The first channel's raw volume of a sink or source, as pactl reports it.
    std::optional<int> rawVolume(const QString& kind, const QString& name) const {
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

private:
    QString dir_;
    QProcess process_;
};

class PulseAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            GTEST_SKIP() << "pulseaudio is not installed";
        ASSERT_TRUE(dir_.isValid());
        daemon_ = std::make_unique<PulseDaemon>(dir_.path());
        ASSERT_TRUE(daemon_->start());
        qputenv("PULSE_SERVER", daemon_->server().toUtf8());
        audio_ = std::make_unique<PulseSystemAudio>(500);
    }

    QTemporaryDir dir_{QDir::tempPath() + QStringLiteral("/velloq-pulse-XXXXXX")};
    std::unique_ptr<PulseDaemon> daemon_;
    std::unique_ptr<PulseSystemAudio> audio_;
};

constexpr int norm = 65536;

} // namespace

TEST_F(PulseAudioTest, VolumeReadWriteAndClamping) {
    ASSERT_TRUE(audio_->defaultDevice(AudioDirection::output));
    ASSERT_TRUE(audio_->defaultDevice(AudioDirection::input));

    EXPECT_TRUE(audio_->setVolume(AudioDirection::output, 0.5f));
    EXPECT_EQ(daemon_->rawVolume(QStringLiteral("sink"), QStringLiteral("velloq_null_sink")),
              norm / 2);
    const auto read = audio_->volume(AudioDirection::output);
    ASSERT_TRUE(read);
    EXPECT_NEAR(*read, 0.5f, 1.0f / norm);

    EXPECT_TRUE(audio_->setVolume(AudioDirection::output, 1.3f));
    EXPECT_EQ(daemon_->rawVolume(QStringLiteral("sink"), QStringLiteral("velloq_null_sink")), norm);
    EXPECT_EQ(audio_->volume(AudioDirection::output), 1.0f);

    EXPECT_TRUE(audio_->setVolume(AudioDirection::output, -0.2f));
    EXPECT_EQ(daemon_->rawVolume(QStringLiteral("sink"), QStringLiteral("velloq_null_sink")), 0);
    EXPECT_EQ(audio_->volume(AudioDirection::output), 0.0f);

    EXPECT_TRUE(audio_->setVolume(AudioDirection::input, 0.25f));
    EXPECT_EQ(daemon_->rawVolume(QStringLiteral("source"), QStringLiteral("velloq_null_source")),
              norm / 4);
    EXPECT_NEAR(*audio_->volume(AudioDirection::input), 0.25f, 1.0f / norm);

    // Above 100 % (set outside Velloq) reads as full.
    ASSERT_TRUE(daemon_->pactl({QStringLiteral("set-sink-volume"),
                                QStringLiteral("velloq_null_sink"), QStringLiteral("150%")}));
    EXPECT_EQ(audio_->volume(AudioDirection::output), 1.0f);
}

TEST_F(PulseAudioTest, MuteReadAndWrite) {
    for (const AudioDirection direction : {AudioDirection::output, AudioDirection::input}) {
        const auto device = audio_->defaultDevice(direction);
        ASSERT_TRUE(device);
        EXPECT_EQ(audio_->isMuted(direction, *device), false);
        EXPECT_TRUE(audio_->setMuted(direction, *device, true));
        EXPECT_EQ(audio_->isMuted(direction, *device), true);
        EXPECT_TRUE(audio_->setMuted(direction, *device, false));
        EXPECT_EQ(audio_->isMuted(direction, *device), false);
    }
    const auto sink = audio_->defaultDevice(AudioDirection::output);
    ASSERT_TRUE(audio_->setMuted(AudioDirection::output, *sink, true));
    const auto out =
        daemon_->pactl({QStringLiteral("get-sink-mute"), QStringLiteral("velloq_null_sink")});
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->contains(QStringLiteral("yes")));

    // A device id that does not exist.
    EXPECT_FALSE(audio_->isMuted(AudioDirection::output, 9999));
    EXPECT_FALSE(audio_->setMuted(AudioDirection::output, 9999, true));
}

TEST_F(PulseAudioTest, NoDefaultSourceGivesNoneAndFalse) {
    ASSERT_TRUE(audio_->volume(AudioDirection::input));
    ASSERT_TRUE(
        daemon_->pactl({QStringLiteral("unload-module"), QStringLiteral("module-null-source")}));
    // Only the sink's monitor is left, which is no input device.
    EXPECT_FALSE(audio_->defaultDevice(AudioDirection::input));
    EXPECT_FALSE(audio_->volume(AudioDirection::input));
    EXPECT_FALSE(audio_->setVolume(AudioDirection::input, 0.5f));
    EXPECT_TRUE(audio_->volume(AudioDirection::output));
}

TEST_F(PulseAudioTest, StoppedServerGivesNoneQuicklyAndRecovers) {
    ASSERT_TRUE(audio_->setVolume(AudioDirection::output, 0.4f));
    daemon_->stop();

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(audio_->volume(AudioDirection::output));
    EXPECT_FALSE(audio_->setVolume(AudioDirection::output, 0.6f));
    EXPECT_FALSE(audio_->defaultDevice(AudioDirection::input));
    // Never a hang: far below the test's own time limit even under sanitizers.
    EXPECT_LT(clock.elapsed(), 5000);

    ASSERT_TRUE(daemon_->start()); // same socket, a new server
    EXPECT_TRUE(audio_->setVolume(AudioDirection::output, 0.6f));
    EXPECT_NEAR(*audio_->volume(AudioDirection::output), 0.6f, 1.0f / norm);
}

TEST_F(PulseAudioTest, HungServerGivesNoneWithinTheLimit) {
    ASSERT_TRUE(audio_->volume(AudioDirection::output));
    daemon_->pause();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(audio_->volume(AudioDirection::output));
    EXPECT_FALSE(audio_->setVolume(AudioDirection::output, 0.3f));
    EXPECT_LT(clock.elapsed(), 5000); // two calls, each bounded by 500 ms
    daemon_->resume();
    EXPECT_TRUE(
        test::waitUntil([&] { return audio_->volume(AudioDirection::output).has_value(); }));
}
