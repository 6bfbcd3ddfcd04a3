// What a button press does: perform, the built-in functions, pasting and the mute toggles.

#include "controller/ActionState.h"

#include "hud/HUD.h"
#include "siteicons/SiteIcons.h"
#include "system/DesktopCommands.h"
#include "system/DockFeatures.h"
#include "system/ForceQuitMenu.h"
#include "system/KeyCodes.h"
#include "system/KeySender.h"
#include "system/Permissions.h"
#include "system/ShortcutsFolder.h"
#include "system/SystemAudio.h"

#include <QUrl>

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
constexpr float kMicUnmuteDefault = 0.75F;

} // namespace

DockController::ActionState::ActionState(const ActionServices& services)
    : launcher(services.launcher)
    , urlOpener(services.urlOpener) {
    if (!launcher) {
        ownLauncher = std::make_unique<DetachedProcessLauncher>();
        launcher = ownLauncher.get();
    }
    if (!urlOpener) {
        ownUrlOpener = std::make_unique<DesktopUrlOpener>();
        urlOpener = ownUrlOpener.get();
    }
    iconFetchTimer.setSingleShot(true);
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

void DockController::perform(const ButtonAction& action) {
    switch (action.kind()) {
    case ButtonAction::Kind::nothing:
        return;
    case ButtonAction::Kind::app: {
        const QString path = *action.appPath();
        if (!path.isEmpty())
            openDesktopEntry(*actionState().launcher, path);
        return;
    }
    case ButtonAction::Kind::function:
        run(*action.buttonFunction());
        return;
    case ButtonAction::Kind::snippet: {
        const QUuid id = *action.snippetID();
        for (const Snippet& snippet : std::as_const(config_.snippets)) {
            if (snippet.id == id) {
                paste(snippet.text);
                return;
            }
        }
        return;
    }
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
        if (!name.isEmpty())
            ShortcutsFolder::run(*actionState().launcher, name, shortcutsFolder_);
        return;
    }
    case ButtonAction::Kind::url: {
        const QString text = *action.urlText();
        QString address = text.trimmed();
        if (address.isEmpty())
            return;
        if (!address.contains(QStringLiteral("://")))
            address.prepend(QStringLiteral("https://"));
        const QUrl url(address, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            actionState().urlOpener->openUrl(url);
        siteIcons().fetchIfNeeded(text);
        return;
    }
    case ButtonAction::Kind::page:
        openPage(*action.pageID());
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
        DesktopCommands::sleepDisplay(*actionState().launcher);
        return;
    case ButtonFunction::screenshot:
        if (!DesktopCommands::requestScreenshot())
            pressKey(KeyCodes::printScreen, kShift);
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
            if (!DesktopCommands::showRunner())
                pressKey(kF2, kAlt);
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
        DesktopCommands::toggleDarkMode(*actionState().launcher, this);
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

void DockController::paste(const QString& text) {
    if (!inputAccessOrPrompt())
        return;
    Clipboard& clipboard = actionState().clipboard;
    Clipboard::Snapshot saved = clipboard.snapshot();
    clipboard.setText(text);
    const uint64_t written = clipboard.changeCount();
    pressKey(kV, kCtrl);
    QTimer::singleShot(kPasteRestoreMs, this, [this, saved = std::move(saved), written] {
        Clipboard& board = actionState().clipboard;
        // Something else wrote meanwhile: its content wins.
        if (board.changeCount() == written)
            board.restore(saved);
    });
}

bool DockController::useNative() {
    if (!config_.nativeIndicators)
        return false;
    if (permissions().inputAccess())
        return true;
    if (!askedForAccessibility_) {
        askedForAccessibility_ = true;
        permissions().promptForInputAccess();
    }
    return false;
}

void DockController::toggleOutputMute() {
    if (useNative()) {
        postMediaKey(KeySender::mute, 0);
        return;
    }
    SystemAudio* sound = audio();
    bool muted = false;
    if (sound) {
        if (const auto device = sound->defaultDevice(AudioDirection::output))
            muted = sound->isMuted(AudioDirection::output, *device).value_or(false);
    }
    const auto device = sound ? sound->defaultDevice(AudioDirection::output) : std::nullopt;
    if (!device || !sound->setMuted(AudioDirection::output, *device, !muted)) {
        postMediaKey(KeySender::mute, 0);
        return;
    }
    const bool nowMuted = !muted;
    QString symbol = QStringLiteral("speaker.slash.fill");
    std::optional<double> level;
    if (!nowMuted) {
        const std::optional<float> volume = sound->volume(AudioDirection::output);
        symbol = volume ? volumeSymbol(*volume) : QStringLiteral("speaker.fill");
        level = volume ? double(*volume) : 0.0;
    }
    if (config_.showHUD)
        hud().show(symbol, QStringLiteral("Volume"), level);
}

void DockController::toggleMicMute() {
    SystemAudio* sound = audio();
    auto unmute = [&] {
        if (sound) {
            if (const auto device = sound->defaultDevice(AudioDirection::input))
                sound->setMuted(AudioDirection::input, *device, false);
        }
        const std::optional<float> volume =
            sound ? sound->volume(AudioDirection::input) : std::nullopt;
        if (config_.showHUD)
            hud().show(QStringLiteral("mic.fill"), QStringLiteral("Microphone"),
                       volume ? std::optional<double>(*volume) : std::nullopt);
    };

    if (micSoftMuted_) {
        if (sound)
            sound->setVolume(AudioDirection::input,
                             micVolumeBeforeMute_.value_or(kMicUnmuteDefault));
        micSoftMuted_ = false;
        micVolumeBeforeMute_.reset();
        unmute();
        return;
    }
    const auto device = sound ? sound->defaultDevice(AudioDirection::input) : std::nullopt;
    if (device && sound->isMuted(AudioDirection::input, *device).value_or(false)) {
        unmute();
        return;
    }
    if (!device || !sound->setMuted(AudioDirection::input, *device, true)) {
        // No settable mute: a volume of 0 stands in for it.
        micVolumeBeforeMute_ = sound ? sound->volume(AudioDirection::input) : std::nullopt;
        if (sound)
            sound->setVolume(AudioDirection::input, 0);
        micSoftMuted_ = true;
    }
    if (config_.showHUD)
        hud().show(QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"), std::nullopt);
}

void DockController::runProcess(const QString& path, const QStringList& arguments) {
    velloq::runProcess(*actionState().launcher, path, arguments);
}

} // namespace velloq
