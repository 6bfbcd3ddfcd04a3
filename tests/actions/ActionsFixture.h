#pragma once

// Fakes for what cannot run here (the key sender's device, the backlight, the URL handler)
// and the controller made with them, a real PulseAudio daemon of its own and the real
// clipboard of the session's X server.

#include "controller/ControllerTestSupport.h"
#include "controller/DockController.h"
#include "siteicons/SiteIcons.h"
#include "system/AppLauncher.h"
#include "system/DesktopMediaKeys.h"
#include "system/DisplayBrightness.h"
#include "system/KeySender.h"
#include "system/Notifier.h"
#include "system/ProcessLauncher.h"
#include "system/PulseSystemAudio.h"

#include "support/PulseDaemon.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace velloq::test {

class RecordingKeySender final : public KeySender {
public:
    struct Press {
        uint16_t keyCode;
        uint64_t flags;
        bool operator==(const Press&) const = default;
    };
    struct Media {
        int type;
        uint64_t extraFlags;
        bool operator==(const Media&) const = default;
    };
    void press(uint16_t keyCode, uint64_t flags) override { presses.push_back({keyCode, flags}); }
    void postMediaKey(int type, uint64_t extraFlags) override {
        media.push_back({type, extraFlags});
        if (onMedia)
            onMedia(media.back());
    }
    bool canInject() override { return true; }
    void clear() {
        presses.clear();
        media.clear();
    }

    std::vector<Press> presses;
    std::vector<Media> media;
    std::function<void(const Media&)> onMedia; // what the desktop does with a media key
};

// Read and written by the knob worker too.
class FakeBrightness final : public DisplayBrightness {
public:
    bool canRead() override { return present; }
    bool canWrite() override { return present; }
    std::optional<float> brightness() override {
        return present ? std::optional<float>(level) : std::nullopt;
    }
    bool setBrightness(float value) override {
        const std::lock_guard<std::mutex> held(gate);
        if (!present)
            return false;
        level = std::clamp(value, 0.0F, 1.0F);
        ++writes;
        return true;
    }
    std::atomic<bool> present = true;
    std::atomic<float> level = 0.5F;
    std::atomic<int> writes = 0;
    std::mutex gate; // a test holds it to keep a write waiting
};

// Which media keys a program of the desktop takes; all of them unless told otherwise.
class FakeMediaKeys final : public DesktopMediaKeys {
public:
    bool takes(int type, uint64_t extraFlags) override {
        return all || taken.count({type, extraFlags}) > 0;
    }
    bool all = true;
    std::set<std::pair<int, uint64_t>> taken;
};

// Records; `failWith`, when set, is the reason every open fails for.
class RecordingUrlOpener final : public UrlOpener {
public:
    void openUrl(const QUrl& url, Failed failed) override {
        opened << url;
        if (!failWith.isEmpty() && failed)
            failed(failWith);
    }
    QList<QUrl> opened;
    QString failWith;
};

class RecordingNotifier final : public Notifier {
public:
    void notify(const QString& summary, const QString& body, const QString&) override {
        shown << summary + QStringLiteral(" | ") + body;
    }
    QStringList shown;
};

// The real launcher, with what it was asked to start kept.
class RecordingLauncher final : public ProcessLauncher {
public:
    LaunchResult launch(const QString& program, const QStringList& arguments,
                        const QString& workingDir) override {
        launched << (QStringList{program} + arguments);
        return real_.launch(program, arguments, workingDir);
    }
    LaunchResult launchWatched(const QString& program, const QStringList& arguments,
                               QObject* context, Exited exited) override {
        launched << (QStringList{program} + arguments);
        return real_.launchWatched(program, arguments, context, std::move(exited));
    }
    QList<QStringList> launched;

private:
    DetachedProcessLauncher real_;
};

// A daemon of the test's own, so tests can run in parallel.
class PrivatePulse {
public:
    QString server() const { return daemon_.server(); }
    test::PulseDaemon& daemon() { return daemon_; }
    bool start() {
        if (!dir_.isValid() || !daemon_.start())
            return false;
        qputenv("PULSE_SERVER", server().toUtf8());
        return true;
    }

private:
    QTemporaryDir dir_;
    test::PulseDaemon daemon_{dir_.path()};
};

// The real daemon, but the input's mute switch refuses, as on devices without one; with
// `volumeToo`, the input's volume refuses changes as well.
class NoMicMute final : public SystemAudio {
public:
    explicit NoMicMute(SystemAudio& real, bool volumeToo = false)
        : real_(real)
        , volumeToo_(volumeToo) {}
    std::optional<uint32_t> defaultDevice(AudioDirection d) override {
        return real_.defaultDevice(d);
    }
    std::optional<bool> isMuted(AudioDirection d, uint32_t device) override {
        return real_.isMuted(d, device);
    }
    bool setMuted(AudioDirection d, uint32_t device, bool muted) override {
        return d == AudioDirection::input ? false : real_.setMuted(d, device, muted);
    }
    std::optional<float> volume(AudioDirection d) override { return real_.volume(d); }
    bool setVolume(AudioDirection d, float value) override {
        return d == AudioDirection::input && volumeToo_ ? false : real_.setVolume(d, value);
    }

private:
    SystemAudio& real_;
    bool volumeToo_;
};

inline bool near(std::optional<float> value, float expected) {
    return value && std::fabs(*value - expected) < 0.002F;
}

// The controller with the fakes, real audio, no dock unless the test plugs one in.
class ActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            GTEST_SKIP() << "pulseaudio is not installed";
        ASSERT_TRUE(pulse.start());
        audio = std::make_unique<PulseSystemAudio>(2000);
        ASSERT_TRUE(
            test::waitUntil([&] { return audio->volume(AudioDirection::output).has_value(); }));
    }

    void TearDown() override {
        controller.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    QString configPath() const { return scratchDir() + QStringLiteral("/data/config.json"); }
    QString shortcutsFolder() const { return scratchDir() + QStringLiteral("/data/Shortcuts"); }

    // With `sources`, the controller finds a dock through them (an emulator).
    void make(DockConfig config = DockConfig(), SystemAudio* sound = nullptr,
              std::vector<std::unique_ptr<DiscoverySource>> sources = {}) {
        ASSERT_TRUE(ConfigStore(configPath()).save(config));
        siteIcons = std::make_unique<SiteIcons>(
            SiteIcons::Options{scratchDir() + QStringLiteral("/SiteIcons"), 10000});
        DockController::Services services;
        services.dock = std::make_unique<StreamDock>(std::move(sources));
        services.configStore = std::make_unique<ConfigStore>(configPath());
        services.clock = &clock;
        services.permissions = &permissions;
        services.keys = &keys;
        services.audio = sound ? sound : audio.get();
        services.displayBrightness = &brightness;
        services.mediaKeys = &mediaKeys;
        services.siteIcons = siteIcons.get();
        services.wakeWatcher = std::make_unique<FakeWakeWatcher>();
        services.activeApp = std::make_unique<NoActiveAppWatcher>();
        services.shortcutsFolder = shortcutsFolder();
        services.actions.launcher = &launcher;
        services.actions.urlOpener = &urls;
        services.actions.notifier = &notifications;
        services.actions.openPanel = [this](const OpenPanelRequest& request) {
            panelRequests << request;
            return panelAnswer;
        };
        controller = std::make_unique<DockController>(std::move(services));
    }

    // The knob roles' controller with the direct (own indicator) way.
    static DockConfig direct() {
        DockConfig config;
        config.nativeIndicators = false;
        return config;
    }

    const HUDModel& shown() { return controller->hud().model(); }

    // Knob steps and mute toggles finish on a worker: runs `act` and waits until the indicator
    // or the media keys show something new.
    bool settled(const std::function<void()>& act) {
        const int generation = controller->hud().generation();
        const size_t media = keys.media.size();
        act();
        return waitUntil([&] {
            return controller->hud().generation() > generation || keys.media.size() > media;
        });
    }
    bool turnAndShow(KnobRole role, int step) {
        return settled([&] { controller->turn(role, step); });
    }

    PrivatePulse pulse;
    std::unique_ptr<PulseSystemAudio> audio;
    ShiftedClock clock;
    FakePermissions permissions;
    RecordingKeySender keys;
    FakeBrightness brightness;
    FakeMediaKeys mediaKeys;
    RecordingUrlOpener urls;
    RecordingNotifier notifications;
    RecordingLauncher launcher;
    QList<OpenPanelRequest> panelRequests;
    std::optional<QString> panelAnswer;
    std::unique_ptr<SiteIcons> siteIcons;
    std::unique_ptr<DockController> controller;
};

} // namespace velloq::test
