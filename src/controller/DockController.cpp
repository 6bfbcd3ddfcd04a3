#include "controller/DockController.h"

#include "follow/PageFollower.h"
#include "hud/HUD.h"
#include "imaging/IconRenderer.h"
#include "siteicons/SiteIcons.h"
#include "support/Log.h"
#include "system/Autostart.h"
#include "system/Permissions.h"
#include "system/ShortcutsFolder.h"

#include <QImageReader>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include <cmath>
#include <utility>

namespace velloq {

namespace {

const QString kNoDock = QStringLiteral("No dock connected");
const QString kUnknownDock = QStringLiteral("Riravu Dodo");

int truncated(double value) {
    if (!std::isfinite(value))
        return 0;
    return static_cast<int>(std::trunc(std::clamp(value, -1e9, 1e9)));
}

// Stores a published field and announces it, only when the value really changes.
template <typename T>
void publish(DockController* controller, T& field, const T& value,
             void (DockController::*changed)()) {
    if (field == value)
        return;
    field = value;
    Q_EMIT(controller->*changed)();
}

} // namespace

DockController::DockController(Services services, QObject* parent)
    : QObject(parent)
    , dock_(std::move(services.dock))
    , configStore_(std::move(services.configStore))
    , clock_(services.clock)
    , permissions_(services.permissions)
    , keys_(services.keys)
    , audio_(services.audio)
    , displayBrightness_(services.displayBrightness)
    , mediaKeys_(services.mediaKeys)
    , dockFeatures_(services.dockFeatures)
    , siteIcons_(services.siteIcons)
    , hud_(std::move(services.hud))
    , wakeWatcher_(std::move(services.wakeWatcher))
    , shortcutsFolder_(services.shortcutsFolder.isEmpty() ? ShortcutsFolder::path()
                                                          : services.shortcutsFolder)
    , animationLoaders_(std::move(services.animationLoaders))
    , actionServices_(std::move(services.actions)) {
    Q_ASSERT(dock_ && configStore_ && clock_ && permissions_ && siteIcons_);
    if (!wakeWatcher_)
        wakeWatcher_ = std::make_unique<LogindWakeWatcher>();
    follower_ = std::make_unique<PageFollower>(services.activeApp ? std::move(services.activeApp)
                                                                  : ActiveAppWatcher::forDesktop());
    config_ = configStore_->load();
    deviceName_ = kNoDock;
    accessibilityGranted_ = permissions_->inputAccess();
    launchAtLogin_ = Autostart::isEnabled();
    lastDockActivity_ = clock_->now();

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kRefreshDelayMs);
    connect(refreshTimer_, &QTimer::timeout, this, [this] { refreshScreens(false); });

    sequences_ = std::make_unique<SequenceRunner>(static_cast<StepPerformer&>(*this), *clock_);
    // Leaving a page drops what its sequences still had to do.
    connect(this, &DockController::currentPageChanged, this,
            [this] { sequences_->pageShown(currentPage_); });
}

DockController::~DockController() {
    sequences_.reset(); // its waits end here, before the services go
    dock_->setDelegate(nullptr);
    if (started_)
        siteIcons_->onUpdate = nullptr;
    // The engine sends through the sink, which reads the dock: both go before the dock.
    engine_.reset();
    sink_.reset();
}

AnimationEngine& DockController::animations() {
    if (!engine_) {
        sink_ = makeDockSink(*dock_);
        engine_ = std::make_unique<AnimationEngine>(*sink_, *clock_, animationLoaders_);
    }
    return *engine_;
}

HUD& DockController::hud() {
    if (!hud_)
        hud_ = std::make_unique<HUD>();
    return *hud_;
}

// ---------------------------------------------------------------- Lifecycle

void DockController::start() {
    if (started_)
        return;
    started_ = true;

    dock_->setDelegate(this);
    dock_->start();

    connect(wakeWatcher_.get(), &WakeWatcher::woke, this, [this] {
        QTimer::singleShot(kWakeResendDelayMs, this, &DockController::resendAfterWake);
    });
    wakeWatcher_->start();

    idleTimer_ = new QTimer(this);
    idleTimer_->setSingleShot(true);
    // Precise: a coarse timer may fire 5 % early, which would take a second wakeup.
    idleTimer_->setTimerType(Qt::PreciseTimer);
    connect(idleTimer_, &QTimer::timeout, this, &DockController::checkIdle);
    armIdleTimer();

    QPointer<DockController> weak(this);
    permissions_->watchInputAccess([weak] {
        if (weak)
            weak->setAccessibilityGranted(weak->permissions_->inputAccess());
    });
    // A change that happened before the watch began.
    setAccessibilityGranted(permissions_->inputAccess());

    siteIcons_->onUpdate = [weak] {
        if (!weak)
            return;
        Q_EMIT weak->siteIconsUpdated();
        weak->refreshScreens(false);
    };
    config_.forEachAction([this](const ButtonAction& action) {
        if (const auto text = action.urlText())
            siteIcons_->fetchIfNeeded(*text);
    });

    loadShortcutNames();
    startFollowingApps();

    if (anyActionNeedsAccessibility() && !permissions_->inputAccess())
        permissions_->promptForInputAccess();
}

void DockController::resendAfterWake() {
    if (!dock_->hasDevice())
        return;
    sentImages_.clear();
    dock_->initialize(truncated(config_.dockBrightness));
    if (engine_)
        engine_->invalidate();
    refreshScreens(false);
}

void DockController::setConfig(const DockConfig& value) {
    changeConfig(value, EditHistory::Merge::allowed);
}

void DockController::applyConfig(const DockConfig& value, bool keepReplaced) {
    if (value == config_)
        return;
    const DockConfig old = std::exchange(config_, value);
    if (!userPage_.isNull() && !config_.page(userPage_))
        userPage_ = QUuid();
    if (!currentPage_.isNull() && !config_.page(currentPage_))
        publish(this, currentPage_, QUuid(), &DockController::currentPageChanged);
    if (started_)
        follower_->setConfig(config_);
    // Off the main thread: a dragged slider assigns at every step.
    configStore_->saveInBackground(config_, keepReplaced ? std::optional(old) : std::nullopt);
    if (old.dockBrightness != config_.dockBrightness)
        dock_->enqueueAll({StreamDock::brightnessCommand(truncated(config_.dockBrightness))});
    screensaverSettingsChanged(old);
    armIdleTimer();
    scheduleScreenRefresh();
    Q_EMIT configChanged();
}

void DockController::setSelected(const Selection& value) {
    publish(this, selected_, value, &DockController::selectedChanged);
}

void DockController::setTab(MenuTab value) {
    publish(this, tab_, value, &DockController::tabChanged);
}

void DockController::setCurrentPage(const QUuid& value) {
    if (!value.isNull() && !config_.page(value))
        return;
    userPage_ = value;
    showPage(value);
}

void DockController::showPage(const QUuid& value) {
    if (value == currentPage_ || (!value.isNull() && !config_.page(value)))
        return;
    currentPage_ = value;
    // At once, not after the refresh delay: the press should feel like opening a folder.
    refreshScreens(false);
    Q_EMIT currentPageChanged();
}

void DockController::openPage(const QUuid& id) {
    if (!id.isNull() && !config_.page(id)) {
        logLine(QStringLiteral("No page with the id ") + id.toString(QUuid::WithoutBraces) +
                QStringLiteral(" to open"));
        return;
    }
    setCurrentPage(id);
}

void DockController::setIsConnected(bool value) {
    publish(this, isConnected_, value, &DockController::isConnectedChanged);
}

void DockController::setDeviceName(const QString& value) {
    publish(this, deviceName_, value, &DockController::deviceNameChanged);
}

void DockController::setAccessibilityGranted(bool value) {
    publish(this, accessibilityGranted_, value, &DockController::accessibilityGrantedChanged);
}

void DockController::setScreensaverRunning(bool value) {
    publish(this, screensaverRunning_, value, &DockController::screensaverRunningChanged);
}

void DockController::setShortcutNames(const QStringList& value) {
    publish(this, shortcutNames_, value, &DockController::shortcutNamesChanged);
}

// ---------------------------------------------------------------- The dock's delegate

void DockController::streamDockDidConnect(StreamDock& dock) {
    publish(this, inaccessibleDockNode_, QString(), &DockController::inaccessibleDockNodeChanged);
    setIsConnected(true);
    const auto model = dock.model();
    setDeviceName(model ? model->name : kUnknownDock);
    lastDockActivity_ = clock_->now();
    armIdleTimer();
    resendEverything();
}

void DockController::streamDockDidDisconnect(StreamDock&) {
    setIsConnected(false);
    setDeviceName(kNoDock);
    sentImages_.clear();
    if (engineScreensaverActive()) {
        engine_->stopScreensaver();
        setScreensaverRunning(false);
    }
    lastDockActivity_ = clock_->now();
    armIdleTimer();
}

void DockController::streamDockCouldNotOpen(StreamDock&, const QString& node, const QString&) {
    publish(this, inaccessibleDockNode_, node, &DockController::inaccessibleDockNodeChanged);
}

void DockController::streamDockUnheldNodeRemoved(StreamDock&, const QString& node) {
    if (node == inaccessibleDockNode_)
        publish(this, inaccessibleDockNode_, QString(),
                &DockController::inaccessibleDockNodeChanged);
}

void DockController::streamDockDidResume(StreamDock&) {
    // Batches waiting during the stall were replaced by the newest: send the whole state.
    resendEverything();
}

void DockController::streamDockDidReceive(StreamDock&, const DockEvent& event) {
    handleInput(event);
}

// ---------------------------------------------------------------- Input

void DockController::handleInput(const DockEvent& event) {
    lastDockActivity_ = clock_->now();
    armIdleTimer();
    if (engineScreensaverActive()) {
        stopScreensaver();
        // A press only wakes the dock; a turn still turns.
        if (event.kind != DockEvent::Kind::knobTurn)
            return;
    }
    const qsizetype count =
        event.kind == DockEvent::Kind::key ? currentKeys().size() : config_.knobs.size();
    if (event.index < 0 || event.index >= count)
        return;
    Q_EMIT dockInput(event);
    switch (event.kind) {
    case DockEvent::Kind::key:
        // A copy: the action may change the page, and with it currentKeys().
        pressedKey_ = event.index;
        perform(ButtonAction(currentKeys()[event.index]));
        pressedKey_ = -1;
        break;
    case DockEvent::Kind::knobTurn:
        turn(config_.knobs[event.index], event.step);
        break;
    case DockEvent::Kind::knobPress:
        press(config_.knobs[event.index]);
        break;
    }
}

// ---------------------------------------------------------------- Key faces

void DockController::refreshScreens(bool force) {
    sendFaces({0, 1, 2, 3, 4, 5}, force);
}

void DockController::refreshScreens(const QList<int>& keys) {
    QList<int> screens;
    for (const int key : keys) {
        if (key >= 0 && key < kScreenKeys && !screens.contains(key))
            screens << key;
    }
    sendFaces(screens, false);
}

void DockController::setFaceOverrides(FaceOverrides* overrides) {
    faceOverrides_ = overrides;
    refreshScreens(false);
}

FaceOverrides::Face DockController::faceOf(int key) const {
    if (faceOverrides_) {
        if (const FaceOverrides::Face* face = faceOverrides_->face(currentPage_, key))
            return *face;
    }
    const KeyLook look = config_.lookOf(currentPage_, key);
    return {IconRenderer::picture(look, config_.snippets, config_.pages),
            animatedIconPath(look.action, look.image)};
}

void DockController::sendFaces(const QList<int>& keys, bool force) {
    if (!dock_->hasDevice() || engineScreensaverActive())
        return;
    const auto model = dock_->model();
    const int size = DockModels::imageEdge(model);
    const int rotation = DockModels::finalRotation(model, config_.extraRotation);

    ImageBatch batch;
    std::map<int, std::optional<QString>> playing;
    for (const int i : keys) {
        FaceOverrides::Face look = faceOf(i);
        playing[i] = std::move(look.animation);
        const std::optional<QByteArray> face = IconRenderer::face(look.picture, size, rotation);
        const auto sent = sentImages_.find(i);
        if (!force) {
            const bool hadFace = sent != sentImages_.end();
            if (face && hadFace && *face == sent->second)
                continue;
            if (!face && !hadFace)
                continue;
        }
        batch[i] = face;
        if (face)
            sentImages_[i] = *face;
        else
            sentImages_.erase(i);
    }
    dock_->setImages(batch);

    AnimationEngine& engine = animations();
    for (const auto& [i, path] : playing)
        engine.setButtonAnimation(i, path, size, rotation);
}

std::optional<QString> DockController::animatedIconPath(const ButtonAction& action,
                                                        const std::optional<QString>& customIcon) {
    if (action.kind() == ButtonAction::Kind::nothing || !customIcon || customIcon->isEmpty())
        return std::nullopt;
    // Counts the images from the file's structure; no frame is decoded.
    QImageReader reader(*customIcon);
    if (reader.imageCount() < 2)
        return std::nullopt;
    return customIcon;
}

void DockController::scheduleScreenRefresh() {
    refreshTimer_->start(); // restarting replaces a pending request
}

void DockController::resendEverything() {
    if (!dock_->hasDevice())
        return;
    sentImages_.clear();
    dock_->initialize(truncated(config_.dockBrightness));
    if (engine_)
        engine_->invalidate();
    refreshScreens(false);
}

// ---------------------------------------------------------------- Idle and screensaver

void DockController::checkIdle() {
    if (!config_.screensaverEnabled || !isConnected_ || windowShown_ || engineScreensaverActive())
        return;
    if (clock_->now() - lastDockActivity_ < config_.screensaverDelay * 60) {
        armIdleTimer(); // early, or the deadline moved
        return;
    }
    startScreensaver();
    if (!engineScreensaverActive() && idleTimer_)
        idleTimer_->start(kIdleRetryMs); // no file to play: try again later, not at once
}

bool DockController::idleTimerArmed() const {
    return idleTimer_ && idleTimer_->isActive();
}

void DockController::armIdleTimer() {
    if (!idleTimer_)
        return; // not started yet
    const double delay = config_.screensaverDelay * 60;
    if (!config_.screensaverEnabled || !isConnected_ || windowShown_ || engineScreensaverActive() ||
        !std::isfinite(delay)) {
        idleTimer_->stop();
        return;
    }
    const double remaining = lastDockActivity_ + delay - clock_->now();
    // Whole milliseconds up, so it never fires before the deadline; a long delay is reached
    // in steps the timer can hold.
    const double ms = std::clamp(std::ceil(remaining * 1000), 0.0, double(24 * 3600 * 1000));
    idleTimer_->start(int(ms));
}

void DockController::setWindowShown(bool shown) {
    if (shown) // the user may have just granted it
        setAccessibilityGranted(permissions_->inputAccess());
    if (shown == windowShown_)
        return;
    windowShown_ = shown;
    lastDockActivity_ = clock_->now();
    if (shown)
        stopScreensaver(); // what is being edited shows on the dock
    armIdleTimer();
}

void DockController::startScreensaver() {
    if (!isConnected_)
        return;
    const std::optional<QString> file = config_.screensaverURL();
    if (!file)
        return;
    const auto model = dock_->model();
    animations().startScreensaver(QUrl::fromLocalFile(*file), DockModels::imageEdge(model),
                                  DockModels::finalRotation(model, config_.extraRotation),
                                  config_.screensaverPlayback, config_.screensaverSpeed);
    setScreensaverRunning(true);
    armIdleTimer();
}

void DockController::stopScreensaver() {
    if (!engineScreensaverActive())
        return;
    engine_->stopScreensaver();
    setScreensaverRunning(false);
    lastDockActivity_ = clock_->now();
    armIdleTimer();
    refreshScreens(true);
}

void DockController::screensaverSettingsChanged(const DockConfig& old) {
    if (!engineScreensaverActive())
        return;
    if (!config_.screensaverEnabled && old.screensaverEnabled) {
        stopScreensaver();
        return;
    }
    if (config_.screensaverAnimation != old.screensaverAnimation ||
        config_.extraRotation != old.extraRotation) {
        startScreensaver();
        return;
    }
    if (config_.screensaverPlayback == old.screensaverPlayback &&
        config_.screensaverSpeed == old.screensaverSpeed)
        return;
    engine_->setPlayback(config_.screensaverPlayback, config_.screensaverSpeed);
}

// perform, turn, press and the editing operations: DockControllerActions.cpp,
// DockControllerKnobs.cpp and DockControllerEditing.cpp.

// ---------------------------------------------------------------- Editing support

void DockController::loadShortcutNames() {
    ShortcutsFolder::listNamesInBackground(
        this, [this](const QStringList& names) { setShortcutNames(names); }, shortcutsFolder_);
}

bool DockController::needsAccessibility(const ButtonAction& action) {
    switch (action.kind()) {
    case ButtonAction::Kind::snippet:
    case ButtonAction::Kind::keys:
        return true;
    case ButtonAction::Kind::function:
        return action.buttonFunction()->needsAccessibility();
    case ButtonAction::Kind::sequence:
    case ButtonAction::Kind::toggle: {
        const QList<ButtonAction> inner = action.innerActions();
        return std::any_of(inner.begin(), inner.end(),
                           [](const ButtonAction& a) { return needsAccessibility(a); });
    }
    default:
        return false;
    }
}

bool DockController::anyActionNeedsAccessibility() const {
    bool any = false;
    config_.forEachAction(
        [&any](const ButtonAction& action) { any = any || needsAccessibility(action); });
    return any;
}

} // namespace velloq
