// SystemAudio against real PulseAudio daemons with a null sink and a null source. Each test
// starts its own daemon, so tests can run in parallel and stop or restart it freely.
#include "system/PulseSystemAudio.h"

#include "support/PulseDaemon.h"
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

using test::PulseDaemon;

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

    // Above 100 % (set outside Velloq) reads as it is, and can be lowered but not raised.
    ASSERT_TRUE(daemon_->pactl({QStringLiteral("set-sink-volume"),
                                QStringLiteral("velloq_null_sink"), QStringLiteral("150%")}));
    EXPECT_NEAR(*audio_->volume(AudioDirection::output), 1.5f, 1.0f / norm);
    EXPECT_TRUE(audio_->setVolume(AudioDirection::output, 2.0f));
    EXPECT_NEAR(*audio_->volume(AudioDirection::output), 1.5f, 1.0f / norm);
    EXPECT_TRUE(audio_->setVolume(AudioDirection::output, 1.3f));
    EXPECT_NEAR(*audio_->volume(AudioDirection::output), 1.3f, 1.0f / norm);
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
