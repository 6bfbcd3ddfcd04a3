// What a button press does: perform, the built-in functions, pasting and the mute toggles.

#include "controller/ActionState.h"

#include "hud/HUD.h"
#include "siteicons/SiteIcons.h"
#include "support/Log.h"
#include "system/DesktopCommands.h"
#include "system/DesktopMediaKeys.h"
#include "system/DockFeatures.h"
#include "system/ForceQuitMenu.h"
#include "system/KeyCodes.h"
#include "system/KeySender.h"
#include "system/Permissions.h"
#include "system/ShortcutsFolder.h"
#include "system/SystemAudio.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace velloq {

namespace {

// Stored key codes (the configuration file's numbering).
constexpr uint16_t kA = 0;
constexpr uint16_t kZ = 6;
constexpr uint16_t kX = 7;
constexpr uint16_t kC = 8;
constexpr uint16_t kV = 9;
constexpr uint16_t kL = 37;
constexpr uint16_t kPeriod = 47;
constexpr uint16_t kF2 = 120;

constexpr uint64_t kCtrl = KeyCombo::kControl;
constexpr uint64_t kShift = KeyCombo::kShift;
constexpr uint64_t kAlt = KeyCombo::kOption;
constexpr uint64_t kSuper = KeyCombo::kCommand;

constexpr int kPasteRestoreMs = 600;
constexpr double kFailureNoticeSeconds = 10;
constexpr float kMicUnmuteDefault = 0.75F;

} // namespace

DockController::ActionState::ActionState(const ActionServices& services)
    : launcher(services.launcher)
    , urlOpener(services.urlOpener)
    , notifier(services.notifier) {
    if (!launcher) {
        ownLauncher = std::make_unique<DetachedProcessLauncher>();
        launcher = ownLauncher.get();
    }
    if (!urlOpener) {
        ownUrlOpener = std::make_unique<DesktopUrlOpener>(*launcher);
        urlOpener = ownUrlOpener.get();
    }
    if (!notifier) {
        ownNotifier = std::make_unique<DesktopNotifier>();
        notifier = ownNotifier.get();
    }
    iconFetchTimer.setSingleShot(true);
    audioWorker.setMaxThreadCount(1);
}

DockController::ActionState& DockController::actionState() {
    if (!actionState_) {
        actionState_ = std::make_shared<ActionState>(actionServices_);
        connect(&actionState_->iconFetchTimer, &QTimer::timeout, this,
                [this] { siteIcons().fetchIfNeeded(actionState_->iconFetchText); });
    }
    return *actionState_;
}

bool DockController::inputAccessOrPrompt() {
    if (permissions().inputAccess())
        return true;
    permissions().promptForInputAccess();
    return false;
}

void DockController::pressKey(uint16_t keyCode, uint64_t flags) {
    if (KeySender* keys = keySender())
        keys->press(keyCode, flags);
}

void DockController::postMediaKey(int type, uint64_t extraFlags) {
    if (KeySender* keys = keySender())
        keys->postMediaKey(type, extraFlags);
}

void DockController::pressFailed(int key, const QString& summary, const QString& reason) {
    std::map<int, double>& notices = actionState().failureNotices;
    const double now = clock().now();
    if (const auto last = notices.find(key);
        last != notices.end() && now - last->second < kFailureNoticeSeconds)
        return;
    notices[key] = now;
    QString body = reason;
    if (!body.isEmpty())
        body[0] = body[0].toUpper();
    actionState().notifier->notify(summary, body + u'.');
}

void DockController::perform(const ButtonAction& action) {
    const int key = pressedKey_;
    switch (action.kind()) {
    case ButtonAction::Kind::nothing:
        return;
    case ButtonAction::Kind::app: {
        const QString path = *action.appPath();
        QString reason;
        if (!path.isEmpty() && !openDesktopEntry(*actionState().launcher, path, &reason)) {
            const std::optional<DesktopEntry> entry = DesktopEntry::read(path);
            const QString name = entry ? entry->displayName() : QFileInfo(path).completeBaseName();
            pressFailed(key, QStringLiteral("Could not open ") + name, reason);
        }
        return;
    }
    case ButtonAction::Kind::function:
        run(*action.buttonFunction());
        return;
    case ButtonAction::Kind::snippet:
        pasteSnippet(*action.snippetID(), {});
        return;
    case ButtonAction::Kind::keys: {
        const KeyCombo combo = *action.keyCombo();
        if (!combo.isRecorded())
            return;
        if (inputAccessOrPrompt())
            pressKey(combo.keyCode, combo.flags);
        return;
    }
    case ButtonAction::Kind::shortcut: {
        const QString name = *action.shortcutName();
        if (!name.isEmpty()) {
            ShortcutsFolder::run(
                *actionState().launcher, name, shortcutsFolder_, this,
                [this, key, name](const QString& reason) {
                    pressFailed(key, QStringLiteral("Could not run “") + name + QStringLiteral("”"),
                                reason);
                });
        }
        return;
    }
    case ButtonAction::Kind::url: {
        const QString text = *action.urlText();
        if (text.trimmed().isEmpty())
            return;
        const QString summary =
            QStringLiteral("Could not open “") + text.trimmed() + QStringLiteral("”");
        if (const std::optional<QUrl> url = webAddress(text)) {
            actionState().urlOpener->openUrl(*url, [this, key, summary](const QString& reason) {
                pressFailed(key, summary, reason);
            });
        } else {
            logLine(QStringLiteral("Could not open ") + text.trimmed() +
                    QStringLiteral(": not a web address"));
            pressFailed(key, summary, QStringLiteral("it is not a web address"));
        }
        siteIcons().fetchIfNeeded(text);
        return;
    }
    case ButtonAction::Kind::page:
        openPage(*action.pageID());
        return;
    case ButtonAction::Kind::sequence:
        runSequence(action);
        return;
    case ButtonAction::Kind::toggle:
        pressToggle(action);
        return;
    case ButtonAction::Kind::wait: // only a step: the runner waits
        return;
    }
}

void DockController::run(ButtonFunction function) {
    if (function.needsAccessibility() && !inputAccessOrPrompt())
        return;
    using DesktopCommands::Desktop;
    switch (function) {
    case ButtonFunction::copy:
        pressKey(kC, kCtrl);
        return;
    case ButtonFunction::cut:
        pressKey(kX, kCtrl);
        return;
    case ButtonFunction::paste:
        pressKey(kV, kCtrl);
        return;
    case ButtonFunction::pasteWithoutFormatting:
        pressKey(kV, kCtrl | kShift);
        return;
    case ButtonFunction::undo:
        pressKey(kZ, kCtrl);
        return;
    case ButtonFunction::redo:
        pressKey(kZ, kCtrl | kShift);
        return;
    case ButtonFunction::selectAll:
        pressKey(kA, kCtrl);
        return;
    case ButtonFunction::lockScreen:
        pressKey(kL, kSuper);
        return;
    case ButtonFunction::sleepDisplay:
        DesktopCommands::sleepDisplay(*actionState().launcher, this);
        return;
    case ButtonFunction::screenshot:
        DesktopCommands::requestScreenshot(this,
                                           [this] { pressKey(KeyCodes::printScreen, kShift); });
        return;
    case ButtonFunction::screenshotTools:
        pressKey(KeyCodes::printScreen, 0);
        return;
    case ButtonFunction::missionControl:
        if (DockFeatures* features = dockFeatures())
            features->missionControl();
        return;
    case ButtonFunction::showDesktop:
        if (DockFeatures* features = dockFeatures())
            features->showDesktop();
        return;
    case ButtonFunction::spotlight:
        switch (DesktopCommands::currentDesktop()) {
        case Desktop::plasma:
            DesktopCommands::showRunner(this, [this] { pressKey(kF2, kAlt); });
            return;
        case Desktop::gnome:
            if (DockFeatures* features = dockFeatures()) {
                features->missionControl();
                return;
            }
            break;
        case Desktop::other:
            break;
        }
        pressKey(kF2, kAlt);
        return;
    case ButtonFunction::emojiPicker:
        pressKey(kPeriod, DesktopCommands::currentDesktop() == Desktop::plasma ? kSuper : kCtrl);
        return;
    case ButtonFunction::forceQuit:
        if (ForceQuitMenu* menu = actionServices_.forceQuitMenu)
            menu->show();
        return;
    case ButtonFunction::toggleDarkMode:
        DesktopCommands::toggleDarkMode(this);
        return;
    case ButtonFunction::playPause:
        postMediaKey(KeySender::playPause, 0);
        return;
    case ButtonFunction::nextTrack:
        postMediaKey(KeySender::nextTrack, 0);
        return;
    case ButtonFunction::previousTrack:
        postMediaKey(KeySender::previousTrack, 0);
        return;
    case ButtonFunction::toggleMute:
        toggleOutputMute();
        return;
    case ButtonFunction::toggleMicMute:
        toggleMicMute();
        return;
    }
}

void DockController::pasteSnippet(const QUuid& id, std::function<void()> done) {
    for (const Snippet& snippet : std::as_const(config_.snippets)) {
        if (snippet.id == id) {
            paste(snippet.text, std::move(done));
            return;
        }
    }
    if (done)
        done();
}

void DockController::paste(const QString& text, std::function<void()> done) {
    if (!done)
        done = [] {};
    if (!inputAccessOrPrompt()) {
        done();
        return;
    }
    actionState().clipboard.snapshot(this, [this, text, done = std::move(done)](
                                               std::optional<Clipboard::Snapshot> saved) {
        if (!saved) {
            // Taking the clipboard now would lose what is on it for good.
            logLine(QStringLiteral("Could not paste a snippet: the clipboard's owner did not "
                                   "answer in time, so its content was left as it is"));
            done();
            return;
        }
        Clipboard& clipboard = actionState().clipboard;
        clipboard.setText(text);
        const uint64_t written = clipboard.changeCount();
        pressKey(kV, kCtrl);
        QTimer::singleShot(kPasteRestoreMs, this, [this, saved = std::move(*saved), written, done] {
            Clipboard& board = actionState().clipboard;
            // Something else wrote meanwhile: its content wins.
            if (board.changeCount() == written)
                board.restore(saved);
            done();
        });
    });
}

bool DockController::useNative(int type, uint64_t extraFlags) {
    if (!config_.nativeIndicators)
        return false;
    if (!permissions().inputAccess()) {
        if (!askedForAccessibility_) {
            askedForAccessibility_ = true;
            permissions().promptForInputAccess();
        }
        return false;
    }
    return desktopTakes(type, extraFlags);
}

bool DockController::desktopTakes(int type, uint64_t extraFlags) {
    const bool taken = !mediaKeys_ || mediaKeys_->takes(type, extraFlags);
    std::map<int, bool>& routes = actionState().mediaKeyRoutes;
    const auto known = routes.find(type);
    if (known == routes.end() || known->second != taken) {
        routes[type] = taken;
        static const std::map<int, const char*> names{
            {KeySender::soundUp, "Volume up"},
            {KeySender::soundDown, "Volume down"},
            {KeySender::brightnessUp, "Brightness up"},
            {KeySender::brightnessDown, "Brightness down"},
            {KeySender::mute, "Mute"}};
        const auto name = names.find(type);
        logLine(QString::fromLatin1(name != names.end() ? name->second : "Media key") +
                (taken ? QStringLiteral(": the desktop takes this media key")
                       : QStringLiteral(": no program of the desktop takes this media key; Velloq "
                                        "sets the level itself and shows its own pop-up")));
    }
    return taken;
}

void DockController::toggleOutputMute() {
    if (useNative(KeySender::mute, 0)) {
        postMediaKey(KeySender::mute, 0);
        return;
    }
    queueAudioJob(KnobRole::nothing, 0, [this] { return outputMuteToggle(); });
}

DockController::WorkerCall DockController::outputMuteToggle() {
    return [this, sound = audio()]() -> std::function<void()> {
        constexpr auto out = AudioDirection::output;
        const auto device = sound ? sound->defaultDevice(out) : std::nullopt;
        const bool muted = device && sound->isMuted(out, *device).value_or(false);
        if (!device || !sound->setMuted(out, *device, !muted))
            return [this] { postMediaKey(KeySender::mute, 0); };
        const std::optional<float> volume = muted ? sound->volume(out) : std::nullopt;
        return [this, nowMuted = !muted, volume] {
            if (!config_.showHUD)
                return;
            if (nowMuted) {
                hud().show(QStringLiteral("speaker.slash.fill"), QStringLiteral("Volume"),
                           std::nullopt);
                return;
            }
            // Above the normal volume shows as full.
            const float shownLevel = volume ? std::min(*volume, 1.0F) : 0.0F;
            hud().show(volume ? volumeSymbol(shownLevel) : QStringLiteral("speaker.fill"),
                       QStringLiteral("Volume"), double(shownLevel));
        };
    };
}

void DockController::toggleMicMute() {
    queueAudioJob(KnobRole::nothing, 0, [this] { return micMuteToggle(); });
}

DockController::WorkerCall DockController::micMuteToggle() {
    return [this, sound = audio(), softMuted = micSoftMuted_,
            before = micVolumeBeforeMute_]() -> std::function<void()> {
        constexpr auto in = AudioDirection::input;
        auto unmute = [&](bool endsSoftMute) -> std::function<void()> {
            if (const auto device = sound ? sound->defaultDevice(in) : std::nullopt)
                sound->setMuted(in, *device, false);
            const std::optional<float> volume = sound ? sound->volume(in) : std::nullopt;
            return [this, endsSoftMute, volume] {
                if (endsSoftMute) {
                    micSoftMuted_ = false;
                    micVolumeBeforeMute_.reset();
                }
                if (config_.showHUD)
                    hud().show(QStringLiteral("mic.fill"), QStringLiteral("Microphone"),
                               volume ? std::optional<double>(std::min(*volume, 1.0F))
                                      : std::nullopt);
            };
        };
        auto showMuted = [this] {
            if (config_.showHUD)
                hud().show(QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"),
                           std::nullopt);
        };

        if (softMuted) {
            if (sound)
                sound->setVolume(in, before.value_or(kMicUnmuteDefault));
            return unmute(true);
        }
        const auto device = sound ? sound->defaultDevice(in) : std::nullopt;
        if (device && sound->isMuted(in, *device).value_or(false))
            return unmute(false);
        if (device && sound->setMuted(in, *device, true))
            return showMuted;
        // No settable mute: a volume of 0 stands in for it, but only once it took effect; the
        // indicator must never say muted while the microphone is live.
        const std::optional<float> level = sound ? sound->volume(in) : std::nullopt;
        if (!sound || !sound->setVolume(in, 0)) {
            return [hasDevice = device.has_value()] {
                logLine(QStringLiteral("Could not mute the microphone: ") +
                        (hasDevice
                             ? QStringLiteral("neither its mute switch nor its volume answered")
                             : QStringLiteral("no input device")));
            };
        }
        return [this, level, showMuted] {
            micVolumeBeforeMute_ = level;
            micSoftMuted_ = true;
            showMuted();
        };
    };
}

void DockController::runProcess(const QString& path, const QStringList& arguments) {
    velloq::runProcess(*actionState().launcher, path, arguments);
}

} // namespace velloq
