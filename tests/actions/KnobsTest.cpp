// Knob turns and presses: the direct way against a real PulseAudio daemon, the native way as
// media keys, and brightness on a fake backlight.
#include "actions/ActionsFixture.h"

#include "hud/HUD.h"
#include "support/Log.h"

using namespace velloq;
using namespace velloq::test;
using Media = RecordingKeySender::Media;

TEST_F(ActionsTest, VolumeTurnsByTheKnobStepAndShowsTheLevel) {
    make(direct());
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));
    ASSERT_TRUE(turnAndShow(KnobRole::volume, 1));
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 0.53F));
    EXPECT_EQ(shown().symbol, u"speaker.wave.2.fill");
    EXPECT_EQ(shown().title, u"Volume");
    EXPECT_NEAR(shown().value.value_or(-1), 0.53, 1e-6);

    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.02F));
    ASSERT_TRUE(turnAndShow(KnobRole::volume, -1));
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 0.0F));
    EXPECT_EQ(shown().symbol, u"speaker.fill");
    EXPECT_EQ(shown().value, 0.0);
    EXPECT_TRUE(keys.media.empty());
}

TEST_F(ActionsTest, TurningUpUnmutesAndTurningDownKeepsTheMute) {
    make(direct());
    const auto sink = audio->defaultDevice(AudioDirection::output);
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.3F));
    ASSERT_TRUE(audio->setMuted(AudioDirection::output, *sink, true));

    ASSERT_TRUE(turnAndShow(KnobRole::volume, -1));
    EXPECT_EQ(audio->isMuted(AudioDirection::output, *sink), true);
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 0.27F));
    EXPECT_EQ(shown().symbol, u"speaker.slash.fill");
    EXPECT_FALSE(shown().value);

    ASSERT_TRUE(turnAndShow(KnobRole::volume, 1));
    EXPECT_EQ(audio->isMuted(AudioDirection::output, *sink), false);
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 0.30F));
    EXPECT_EQ(shown().symbol, u"speaker.wave.1.fill");
}

TEST_F(ActionsTest, NativeTurnsPostFineStepsRoundedFromTheKnobStep) {
    make(); // nativeIndicators, with input access
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));
    controller->turn(KnobRole::volume, 1);
    const uint64_t fine = KeySender::fineStepFlags;
    EXPECT_EQ(keys.media, (std::vector<Media>{{KeySender::soundUp, fine},
                                              {KeySender::soundUp, fine}})); // 3 / 1.5625
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 0.5F)); // the desktop's to change
    EXPECT_EQ(controller->hud().generation(), 0);

    DockConfig half = controller->config();
    half.knobStep = 0.5;
    controller->setConfig(half);
    keys.clear();
    controller->turn(KnobRole::brightness, -1);
    EXPECT_EQ(keys.media, (std::vector<Media>{{KeySender::brightnessDown, fine}}));
    EXPECT_EQ(brightness.writes, 0);
}

TEST_F(ActionsTest, UnreadableValuesFallBackToPlainKeysOrAMessage) {
    make(direct());
    brightness.present = false;
    controller->turn(KnobRole::brightness, 1);
    ASSERT_TRUE(waitUntil([&] { return !keys.media.empty(); }));
    EXPECT_EQ(keys.media, (std::vector<Media>{{KeySender::brightnessUp, 0}}));
    // A press cannot go anywhere: the indicator says why.
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    EXPECT_EQ(shown().title, u"No adjustable display found");
    EXPECT_EQ(keys.media.size(), 1u);

    // Without a sound server nothing can be read.
    controller.reset();
    PulseSystemAudio nowhere(200);
    qputenv("PULSE_SERVER", "unix:/nonexistent/velloq-native");
    make(direct(), &nowhere);
    keys.clear();
    controller->turn(KnobRole::volume, -1);
    ASSERT_TRUE(waitUntil([&] { return !keys.media.empty(); }));
    EXPECT_EQ(keys.media, (std::vector<Media>{{KeySender::soundDown, 0}}));
    ASSERT_TRUE(turnAndShow(KnobRole::microphone, 1));
    EXPECT_EQ(shown().symbol, u"mic.slash");
    EXPECT_EQ(shown().title, u"Microphone volume not adjustable");
    EXPECT_FALSE(shown().value);
}

TEST_F(ActionsTest, MediaKeysNoProgramTakesAreDoneByVelloqWithItsOwnPopUp) {
    make(); // the desktop's pop-ups wanted, with input access
    mediaKeys.all = false;
    mediaKeys.taken = {{KeySender::soundDown, KeySender::fineStepFlags}};
    LogCapture log;
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));
    ASSERT_TRUE(turnAndShow(KnobRole::volume, 1));
    ASSERT_TRUE(turnAndShow(KnobRole::volume, 1));
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 0.56F));
    EXPECT_EQ(shown().title, u"Volume");
    EXPECT_TRUE(keys.media.empty());
    // Down is taken: the desktop's way.
    controller->turn(KnobRole::volume, -1);
    EXPECT_EQ(keys.media.size(), 2u);
    EXPECT_EQ(log.count(QStringLiteral("Volume up: no program of the desktop takes")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Volume down: the desktop takes")), 1);

    ASSERT_TRUE(turnAndShow(KnobRole::brightness, -1));
    EXPECT_TRUE(near(brightness.level, 0.47F));
    EXPECT_EQ(shown().title, u"Display");
    const auto sink = audio->defaultDevice(AudioDirection::output);
    ASSERT_TRUE(settled([&] { controller->run(ButtonFunction::toggleMute); }));
    EXPECT_EQ(audio->isMuted(AudioDirection::output, *sink), true);
    EXPECT_EQ(shown().symbol, u"speaker.slash.fill");

    // No backlight and no monitor answering, and no program for the keys either.
    brightness.present = false;
    ASSERT_TRUE(turnAndShow(KnobRole::brightness, 1));
    EXPECT_EQ(shown().symbol, u"display.slash");
    EXPECT_EQ(shown().title, u"No adjustable display found");
    EXPECT_EQ(keys.media.size(), 2u);
}

TEST_F(ActionsTest, MicrophoneTurnUpEndsTheSoftMute) {
    // The source's mute switch refuses, so the toggle soft-mutes.
    NoMicMute noMute(*audio);
    make(direct(), &noMute);
    ASSERT_TRUE(audio->setVolume(AudioDirection::input, 0.5F));
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::microphone); }));
    EXPECT_TRUE(near(audio->volume(AudioDirection::input), 0.0F));
    EXPECT_EQ(shown().symbol, u"mic.slash.fill");

    ASSERT_TRUE(turnAndShow(KnobRole::microphone, 1));
    EXPECT_TRUE(near(audio->volume(AudioDirection::input), 0.03F));
    EXPECT_EQ(shown().symbol, u"mic.fill");
    EXPECT_EQ(shown().title, u"Microphone");
    EXPECT_NEAR(shown().value.value_or(-1), 0.03, 1e-6);
}

TEST_F(ActionsTest, BrightnessPressGoesToFullAndBack) {
    make(direct());
    brightness.level = 0.4F;
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    EXPECT_FLOAT_EQ(brightness.level, 1.0F);
    EXPECT_EQ(shown().symbol, u"sun.max.fill");
    EXPECT_EQ(shown().title, u"Display");
    EXPECT_EQ(shown().value, 1.0);
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    EXPECT_FLOAT_EQ(brightness.level, 0.4F);
    EXPECT_EQ(shown().symbol, u"sun.min.fill");
    EXPECT_NEAR(shown().value.value_or(-1), 0.4, 1e-6);

    // A turn after going to full forgets the old level.
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    ASSERT_TRUE(turnAndShow(KnobRole::brightness, -1));
    EXPECT_NEAR(brightness.level, 0.97F, 1e-6);
    EXPECT_EQ(shown().symbol, u"sun.max.fill");
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    EXPECT_FLOAT_EQ(brightness.level, 1.0F);
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    EXPECT_NEAR(brightness.level, 0.97F, 1e-6);
    EXPECT_TRUE(keys.media.empty());
}

TEST_F(ActionsTest, NativeBrightnessPressLetsTheDesktopShowIt) {
    make();
    brightness.level = 0.4F;
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    EXPECT_FLOAT_EQ(brightness.level, 1.0F);
    const uint64_t fine = KeySender::fineStepFlags;
    EXPECT_EQ(keys.media, (std::vector<Media>{{KeySender::brightnessUp, fine}}));
    ASSERT_TRUE(settled([&] { controller->press(KnobRole::brightness); }));
    // One fine step below the old level; the posted step brings the desktop to it.
    EXPECT_NEAR(brightness.level, 0.4F - 1.0F / 64, 1e-6);
    EXPECT_EQ(keys.media.size(), 2u);
    EXPECT_EQ(controller->hud().generation(), 0);
}

TEST_F(ActionsTest, NativeBrightnessTurnRightAfterAPressIsNotUndoneByIt) {
    make();
    brightness.level = 0.4F;
    keys.onMedia = [&](const Media& key) { // the desktop's own brightness keys
        const float fine = 1.0F / 64;
        if (key.type == KeySender::brightnessUp)
            brightness.level = std::min(1.0F, brightness.level + fine);
        else if (key.type == KeySender::brightnessDown)
            brightness.level = std::max(0.0F, brightness.level - fine);
    };
    {
        // The press's write waits on the worker while the turn arrives.
        const std::lock_guard<std::mutex> slowBacklight(brightness.gate);
        controller->press(KnobRole::brightness);
        controller->turn(KnobRole::brightness, -1);
    }
    ASSERT_TRUE(waitUntil([&] { return keys.media.size() == 3; }));
    EXPECT_EQ(keys.media.back().type, KeySender::brightnessDown);
    EXPECT_NEAR(brightness.level, 1.0F - 2.0F / 64, 1e-6); // full, then turned down
}

TEST_F(ActionsTest, WithoutTheIndicatorValuesStillChange) {
    DockConfig config = direct();
    config.showHUD = false;
    make(config);
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));
    controller->turn(KnobRole::volume, 1);
    controller->turn(KnobRole::microphone, 1);
    brightness.level = 0.5F;
    controller->turn(KnobRole::brightness, 1);
    controller->press(KnobRole::volume);
    controller->turn(KnobRole::nothing, 1);
    controller->press(KnobRole::nothing);
    const auto sink = audio->defaultDevice(AudioDirection::output);
    // In order: the turn up, then the press that mutes.
    ASSERT_TRUE(waitUntil([&] {
        return near(audio->volume(AudioDirection::output), 0.53F) &&
               std::fabs(brightness.level - 0.53F) < 1e-6F &&
               audio->isMuted(AudioDirection::output, *sink) == true;
    }));
    EXPECT_EQ(controller->hud().generation(), 0);
}

TEST_F(ActionsTest, AboveTheNormalVolumeUpNeverLowersAndDownGoesByTheStep) {
    make(direct());
    ASSERT_TRUE(pulse.daemon().pactl({QStringLiteral("set-sink-volume"),
                                      QStringLiteral("@DEFAULT_SINK@"), QStringLiteral("120%")}));
    ASSERT_TRUE(near(audio->volume(AudioDirection::output), 1.2F));

    ASSERT_TRUE(turnAndShow(KnobRole::volume, 1));
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 1.2F));
    EXPECT_EQ(shown().symbol, u"speaker.wave.3.fill");
    EXPECT_EQ(shown().value, 1.0);

    ASSERT_TRUE(turnAndShow(KnobRole::volume, -1));
    EXPECT_TRUE(near(audio->volume(AudioDirection::output), 1.17F));
}

TEST_F(ActionsTest, DetentsDuringAHungCallAreMergedIntoTheNextOne) {
    make(direct());
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));
    pulse.daemon().pause();
    for (int i = 0; i < 5; ++i)
        controller->turn(KnobRole::volume, 1); // returns at once: the worker waits
    pulse.daemon().resume();
    ASSERT_TRUE(waitUntil([&] { return near(audio->volume(AudioDirection::output), 0.65F); }));
    // The first detent's call, then one call for the four that came while it hung.
    ASSERT_TRUE(waitUntil([&] { return controller->hud().generation() == 2; }));
    EXPECT_NEAR(shown().value.value_or(-1), 0.65, 0.002);
    EXPECT_TRUE(keys.media.empty());
}

TEST_F(ActionsTest, MicMuteThatDidNotTakeEffectIsNeitherShownNorRecorded) {
    NoMicMute refusing(*audio, true); // neither its mute switch nor its volume changes
    make(direct(), &refusing);
    ASSERT_TRUE(audio->setVolume(AudioDirection::input, 0.5F));
    LogCapture log;
    controller->toggleMicMute();
    ASSERT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("Could not mute the mic")); }));
    EXPECT_EQ(controller->hud().generation(), 0);
    // Nothing was recorded: the next press tries to mute again rather than restore.
    controller->toggleMicMute();
    ASSERT_TRUE(waitUntil(
        [&] { return log.count(QStringLiteral("Could not mute the microphone: ")) == 2; }));
    EXPECT_EQ(controller->hud().generation(), 0);
    EXPECT_TRUE(near(audio->volume(AudioDirection::input), 0.5F));
}
