#pragma once

#include "config/ConfigStore.h"
#include "config/DockConfig.h"
#include "controller/ActionServices.h"
#include "controller/AnimationEngine.h"
#include "controller/EditHistory.h"
#include "controller/FaceOverrides.h"
#include "controller/Selection.h"
#include "controller/WakeWatcher.h"
#include "device/StreamDock.h"
#include "follow/ActiveAppWatcher.h"
#include "hud/HUD.h"
#include "sequences/SequenceRunner.h"
#include "support/Clock.h"
#include "system/Applications.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;

namespace velloq {

class DesktopMediaKeys;
class DisplayBrightness;
class PageFollower;
class DockFeatures;
class KeySender;
class Permissions;
class SiteIcons;
class SystemAudio;

// The centre of the application: owns the configuration, the dock, the animation engine and
// the indicator; turns dock input into actions, keeps the key faces in step with the
// configuration and runs the idle screensaver. One instance for the life of the process.
// Main thread only.
class DockController : public QObject, private StreamDockDelegate, private StepPerformer {
    Q_OBJECT
    Q_PROPERTY(velloq::DockConfig config READ config WRITE setConfig NOTIFY configChanged)
    Q_PROPERTY(velloq::Selection selected READ selected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(velloq::MenuTab tab READ tab WRITE setTab NOTIFY tabChanged)
    Q_PROPERTY(QUuid currentPage READ currentPage WRITE setCurrentPage NOTIFY currentPageChanged)
    Q_PROPERTY(std::optional<int> recordingKey READ recordingKey NOTIFY recordingKeyChanged)
    Q_PROPERTY(QStringList shortcutNames READ shortcutNames NOTIFY shortcutNamesChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(QString deviceName READ deviceName NOTIFY deviceNameChanged)
    Q_PROPERTY(
        bool accessibilityGranted READ accessibilityGranted NOTIFY accessibilityGrantedChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(std::optional<QString> loginItemNote READ loginItemNote NOTIFY loginItemNoteChanged)
    Q_PROPERTY(bool screensaverRunning READ screensaverRunning NOTIFY screensaverRunningChanged)
    Q_PROPERTY(
        QString inaccessibleDockNode READ inaccessibleDockNode NOTIFY inaccessibleDockNodeChanged)

public:
    static constexpr int kScreenKeys = 6;
    static constexpr int kRefreshDelayMs = 250;
    static constexpr int kWakeResendDelayMs = 2000;
    // When the screensaver was due but could not start (its file is missing), it is tried
    // again this often.
    static constexpr int kIdleRetryMs = 60000;

    // The backends. `dock`, `configStore`, `clock`, `permissions` and `siteIcons` are
    // required; `clock`, the service pointers and `siteIcons` must outlive the controller.
    struct Services {
        std::unique_ptr<StreamDock> dock;
        std::unique_ptr<ConfigStore> configStore;
        const Clock* clock = nullptr;
        Permissions* permissions = nullptr;
        KeySender* keys = nullptr;
        SystemAudio* audio = nullptr;
        DisplayBrightness* displayBrightness = nullptr;
        DesktopMediaKeys* mediaKeys = nullptr; // absent: the desktop takes every media key
        DockFeatures* dockFeatures = nullptr;
        SiteIcons* siteIcons = nullptr;
        std::unique_ptr<HUD> hud;                 // made on demand when absent
        std::unique_ptr<WakeWatcher> wakeWatcher; // logind when absent
        // The app in front, for pages that list apps; the desktop's own when absent.
        std::unique_ptr<ActiveAppWatcher> activeApp;
        QString shortcutsFolder; // ShortcutsFolder::path() when empty
        AnimationEngine::Loaders animationLoaders = AnimationEngine::defaultLoaders();
        ActionServices actions; // launching, URLs, force quit, open panels, app folders
    };

    // Loads the configuration (defaults when the file is missing or unreadable). Touches no
    // hardware.
    explicit DockController(Services services, QObject* parent = nullptr);
    ~DockController() override;
    DockController(const DockController&) = delete;
    DockController& operator=(const DockController&) = delete;

    // Once, when the event loop runs: takes the dock, starts the timers and the watchers.
    void start();

    // --- Published state ---
    const DockConfig& config() const { return config_; }
    // Saves (on the store's writer thread), sends a changed dock brightness, lets the
    // screensaver react and schedules a refresh; an equal value changes nothing. A step of the
    // undo history, merged with the previous one when it changes the same setting within a
    // second (typing).
    void setConfig(const DockConfig& value);
    // Returns once the last configuration set is in the file. Destruction does it too.
    void flushSave() { configStore_->flush(); }
    Selection selected() const { return selected_; }
    void setSelected(const Selection& value);
    MenuTab tab() const { return tab_; }
    void setTab(MenuTab value);
    // The page the dock shows and the window edits; the nil id is home. Not saved.
    QUuid currentPage() const { return currentPage_; }
    // The user's choice (in the window or by a key): shows the page at once (only the faces
    // that differ), and it is the page the dock returns to when the app in front is listed
    // by no page. An id of no page changes nothing.
    void setCurrentPage(const QUuid& value);
    // The page the user last chose; home at start.
    QUuid userPage() const { return userPage_; }
    // Whether the desktop can tell the app in front, and, when it takes a step of the user
    // (enabling an extension), the command for it.
    ActiveAppWatcher::Availability appInFrontAvailability() const;
    QString appInFrontEnableCommand() const;
    // Asks the desktop again (Settings does when it shows).
    void refreshAppInFrontAvailability();
    // Whether the desktop is being watched for the app in front.
    bool followingApps() const;
    // The current page's keys and custom images: what the dock shows and the editors change.
    const QList<ButtonAction>& currentKeys() const { return config_.keysOf(currentPage_); }
    const QList<std::optional<QString>>& currentCustomIcons() const {
        return config_.customIconsOf(currentPage_);
    }
    std::optional<int> recordingKey() const { return recordingKey_; }
    // Where inside that key's action the shortcut goes; empty for the action itself.
    ActionPath recordingPath() const { return recordingPath_; }
    QStringList shortcutNames() const { return shortcutNames_; }
    bool isConnected() const { return isConnected_; }
    QString deviceName() const { return deviceName_; }
    bool accessibilityGranted() const { return accessibilityGranted_; }
    bool launchAtLogin() const { return launchAtLogin_; }
    std::optional<QString> loginItemNote() const { return loginItemNote_; }
    bool screensaverRunning() const { return screensaverRunning_; }
    // The node of a supported dock that was found but could not be opened (usually the udev
    // rule is missing); empty once a dock connects or that node goes away.
    QString inaccessibleDockNode() const { return inaccessibleDockNode_; }

    StreamDock& dock() { return *dock_; }
    // Made on first use.
    AnimationEngine& animations();
    HUD& hud();

    // --- Key faces ---
    // Brings the six screens up to date; `force` sends all six, blank ones as clear.
    void refreshScreens(bool force);
    // Brings these screen keys (0-5) up to date at once, in one batch: those whose face
    // differs from the last sent.
    void refreshScreens(const QList<int>& keys);
    // Faces that stand in for keys' own for a while; not owned, and cleared (nullptr) before
    // they go. The current faces are redrawn.
    void setFaceOverrides(FaceOverrides* overrides);
    // A refresh 0.25 s from now; a newer request replaces one that has not run yet.
    void scheduleScreenRefresh();
    // Re-initialises the dock and sends every face again.
    void resendEverything();
    // JPEG bytes last sent per screen key.
    const std::map<int, QByteArray>& sentImages() const { return sentImages_; }

    // --- Idle and screensaver ---
    // Starts the screensaver once the dock has been idle for the configured delay, unless the
    // window is shown. One timer calls it at that deadline, set again whenever the deadline
    // moves; nothing runs in between.
    void checkIdle();
    // Whether the deadline timer is set (never while the screensaver cannot start by itself).
    bool idleTimerArmed() const;
    // The window counts as activity: opening it ends the screensaver, and while it is shown
    // idling never starts one (a preview still does); the delay counts from its closing.
    // Showing it also reads the input access again.
    void setWindowShown(bool shown);
    void startScreensaver();
    void stopScreensaver();
    void screensaverSettingsChanged(const DockConfig& old);
    double lastDockActivity() const { return lastDockActivity_; }

    // --- Input ---
    // Dock input, from the dock or from a script pressing for the user: ends the screensaver
    // (a press then does nothing more, as on the dock), else runs the key's action or the
    // knob's role on the current page. Indices out of range are ignored.
    void handleInput(const DockEvent& event);

    // --- Actions (DockControllerActions.cpp, DockControllerKnobs.cpp) ---
    virtual void perform(const ButtonAction& action);
    virtual void turn(KnobRole role, int step);
    virtual void press(KnobRole role);
    // One built-in function; those that inject input need input access (else a prompt).
    void run(ButtonFunction function);
    // Types `text` by way of the clipboard, which is restored 0.6 s later unless something
    // else wrote to it meanwhile.
    // done runs once the paste is over (the clipboard given back) or was given up.
    void paste(const QString& text, std::function<void()> done = {});
    // The snippet's text pasted; done also runs when there is no such snippet.
    void pasteSnippet(const QUuid& id, std::function<void()> done);
    void toggleOutputMute();
    void toggleMicMute();
    // Whether to send the media key `type` (with `extraFlags` held) and leave the rest to the
    // desktop's own indicators: the setting is on, input access is there (else a prompt, at
    // most once a run) and a program of the desktop takes that key (logged once per key).
    bool useNative(int type, uint64_t extraFlags);
    // Whether a program of the desktop takes the media key; logs the way each key goes once.
    bool desktopTakes(int type, uint64_t extraFlags);
    // Starts a program detached; logs "Could not run <path>: <reason>" on failure.
    void runProcess(const QString& path, const QStringList& arguments);

    // --- Several actions and toggles (DockControllerMulti.cpp) ---
    // Whether the toggle on key `key` of the current page is on.
    bool isToggleOn(int key) const { return config_.isToggleOn({currentPage_, key}); }
    // Turns the toggle on key `key` of the current page on or off without running anything;
    // saved, and only its face is drawn again. False when that key holds no toggle.
    bool setToggle(int key, bool on);
    // The running sequences.
    SequenceRunner& sequences() { return *sequences_; }

    // --- Editing support ---
    void loadShortcutNames();
    // Where "Run Script" finds its scripts.
    QString shortcutsFolder() const { return shortcutsFolder_; }
    // Shows that folder in the file manager, making it first when it is missing.
    void openShortcutsFolder();
    bool anyActionNeedsAccessibility() const;
    static bool needsAccessibility(const ButtonAction& action);

    // --- Editing (DockControllerEditing.cpp) ---
    // Edits of keys apply to the current page, or to `page` for one that started there (a
    // file dialog, a recording, a drag): while it ran, the dock may have opened another page.
    // When that page is gone, the edit is dropped with a log line.
    // Binds `action` to key index `key` (0-8); prompts for input access when it needs it. A
    // wait is no button's action and changes nothing.
    void setAction(const ButtonAction& action, int key);
    void setAction(const ButtonAction& action, int key, const QUuid& page);
    // Puts `action` at `path` inside the action of key `key` (a step of a sequence, a side of a
    // toggle), keeping the toggle's state; nothing when the path leads nowhere.
    void setInnerAction(const ButtonAction& action, int key, const ActionPath& path);
    void setInnerAction(const ButtonAction& action, int key, const ActionPath& path,
                        const QUuid& page);
    // Each runs its open panel after the calling event has returned; the choice applies to
    // the page current now.
    void chooseAppWithPanel(int key, const ActionPath& path = {});
    // Adds the chosen app to the apps of page `page`.
    void choosePageAppWithPanel(const QUuid& page);
    void chooseCustomIcon(int key);
    // The image of a toggle while it is on.
    void chooseOnIcon(int key);
    bool useOnIcon(int key, const QString& source);
    bool useOnIcon(int key, const QString& source, const QUuid& page);
    void clearOnIcon(int key);
    void chooseScreensaverGIF();
    // Copies the image under a fresh name into CustomIcons / Screensavers and uses the copy.
    bool useCustomIcon(int key, const QString& source);
    bool useCustomIcon(int key, const QString& source, const QUuid& page);
    bool useScreensaverGIF(const QString& source);
    void clearCustomIcon(int key);
    // Removes the snippet and turns the keys that pasted it into `nothing`, in one change.
    void deleteSnippet(const QUuid& id);
    // Appends a page whose first key opens home, and makes it current; gives its id.
    QUuid addPage(const QString& name);
    void renamePage(const QUuid& id, const QString& name);
    // Removes the page and turns the keys that opened it (on every page) into `nothing`, in
    // one change; home becomes current if it was.
    void deletePage(const QUuid& id);
    // How many keys, on every page, open this page.
    int keysOpening(const QUuid& id) const;
    // How many keys, on every page, paste this snippet.
    int keysPasting(const QUuid& snippetID) const;
    void startRecordingShortcut(int key, const ActionPath& path = {});
    void stopRecordingShortcut();

    // --- Rearranging and history (DockControllerArrange.cpp) ---
    // Swaps two keys of the current page: screen keys with their custom images, otherwise the
    // actions only. One step.
    void swapKeys(int a, int b);
    void swapKeys(int a, int b, const QUuid& page);
    void swapKnobs(int a, int b);
    // Puts a copy of a button on key `key` of the current page; a screen key gets its own copy
    // of `customIcon` (or none). False, changing nothing, when the image cannot be copied.
    bool pasteButton(int key, const ButtonAction& action, const std::optional<QString>& customIcon);
    // Assigns the configuration before the last step (after the last undone one); saved like
    // any change. When the step changed a button, its page becomes current and it is selected.
    void undo();
    void redo();
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    // The application lists are scanned on a worker thread; each result arrives on the main
    // thread with its change signal. The installed list is scanned once and kept for the run;
    // the running list is scanned anew on every load, and a scan overtaken by a newer one is
    // dropped. Both are empty until their first scan has arrived.
    void loadInstalledApps();
    QList<AppEntry> installedApps() const;
    bool installedAppsLoaded() const;
    void loadRunningApps();
    QList<AppEntry> runningApps() const;
    bool runningAppsLoaded() const;
    // Runs an open or save panel (the service's, else a QFileDialog); none when cancelled.
    // Modal: call it after the calling event has returned.
    std::optional<QString> runPanel(const OpenPanelRequest& request);
    // The folder of the configuration file, which holds CustomIcons and Screensavers.
    QString dataFolder() const;
    // Where installed applications are looked for (DesktopEntries::applicationDirs() unless
    // the services gave others).
    QStringList applicationDirs() const;

    // --- Imports ---
    // Assigns a configuration made outside the window's editing (an import) as one undo
    // step. `files` are the images it copied in, removed when the import changes nothing. With
    // `keepReplaced`, the configuration it replaces is kept beside the file before the file
    // is replaced (ConfigStore::saveInBackground).
    void importConfig(const DockConfig& value, const QStringList& files, bool keepReplaced);

    // Velloq's "Input access" help.
    void openAccessibilitySettings();
    void setLaunchAtLogin(bool enabled);

Q_SIGNALS:
    void configChanged();
    void selectedChanged();
    void tabChanged();
    void currentPageChanged();
    void recordingKeyChanged();
    void shortcutNamesChanged();
    void isConnectedChanged();
    void deviceNameChanged();
    void accessibilityGrantedChanged();
    void launchAtLoginChanged();
    void loginItemNoteChanged();
    void screensaverRunningChanged();
    void inaccessibleDockNodeChanged();
    void appInFrontAvailabilityChanged();
    // A website icon arrived; previews of key faces should redraw.
    void siteIconsUpdated();
    void installedAppsChanged();
    void runningAppsChanged();
    void historyChanged();
    // Input that handleInput is about to act on (not a press that only ended the screensaver).
    void dockInput(const velloq::DockEvent& event);

protected:
    // The services, for the actions code.
    const Clock& clock() const { return *clock_; }
    Permissions& permissions() { return *permissions_; }
    KeySender* keySender() { return keys_; }
    SystemAudio* audio() { return audio_; }
    DisplayBrightness* displayBrightness() { return displayBrightness_; }
    DockFeatures* dockFeatures() { return dockFeatures_; }
    SiteIcons& siteIcons() { return *siteIcons_; }

    // State of the knob and mute actions.
    std::optional<float> brightnessBeforeFull_;
    std::optional<float> micVolumeBeforeMute_;
    bool micSoftMuted_ = false;
    bool askedForAccessibility_ = false;

private:
    void streamDockDidConnect(StreamDock& dock) override;
    void streamDockDidDisconnect(StreamDock& dock) override;
    void streamDockDidReceive(StreamDock& dock, const DockEvent& event) override;
    void streamDockCouldNotOpen(StreamDock& dock, const QString& node,
                                const QString& reason) override;
    void streamDockUnheldNodeRemoved(StreamDock& dock, const QString& node) override;
    void streamDockDidResume(StreamDock& dock) override;
    void performStep(const ButtonRef& button, const ButtonAction& step,
                     std::function<void()> started) override;

    bool engineScreensaverActive() const { return engine_ && engine_->screensaverActive(); }
    void resendAfterWake();
    // Sets the idle timer to the screensaver's deadline, or stops it when it cannot start.
    void armIdleTimer();
    void setIsConnected(bool value);
    void setDeviceName(const QString& value);
    void setAccessibilityGranted(bool value);
    void setScreensaverRunning(bool value);
    void setShortcutNames(const QStringList& value);
    void openPage(const QUuid& id);
    // Shows a page without making it the user's choice.
    void showPage(const QUuid& id);
    // DockControllerFollow.cpp
    void startFollowingApps();
    void appInFront(const std::optional<QUuid>& page);
    // What screen key `key` of the current page shows, and the animation it plays.
    FaceOverrides::Face faceOf(int key) const;
    // Puts the faces of `keys` that differ from the last sent (all of them with `force`) in one
    // batch, and hands their animations to the engine.
    void sendFaces(const QList<int>& keys, bool force);
    // The configuration with `edit` applied to the keys and custom images of `page`; false,
    // changing nothing, when that page is gone (logged).
    template <typename Edit>
    bool editPage(const QUuid& page, Edit edit,
                  EditHistory::Merge merge = EditHistory::Merge::never) {
        if (!pageExists(page))
            return false;
        DockConfig next = config_;
        edit(next.keysOf(page), next.customIconsOf(page));
        changeConfig(next, merge);
        return true;
    }
    // Home, or a page of the configuration; logs that an edit is dropped otherwise.
    bool pageExists(const QUuid& page) const;
    // setConfig with the history step's kind; discrete operations are never merged.
    void changeConfig(const DockConfig& value, EditHistory::Merge merge);
    // Assigns without touching the history; `keepReplaced` keeps the configuration it
    // replaces beside the file (ConfigStore).
    void applyConfig(const DockConfig& value, bool keepReplaced = false);
    // Assigns an undo or redo step and shows the button it changed.
    void travelTo(const DockConfig& value);
    // Puts a fresh copy of `source` on key `key` of `page`, as its image or its image when on.
    bool useIconCopy(int key, const QString& source, const QUuid& page, bool whenOn);
    // A fresh copy of an image in CustomIcons; copies are never removed.
    std::optional<QString> copyCustomIcon(const QString& source);
    static std::optional<QString> animatedIconPath(const ButtonAction& action,
                                                   const std::optional<QString>& customIcon);

    // Sequences and toggles.
    void runSequence(const ButtonAction& sequence);
    void pressToggle(const ButtonAction& toggle);
    // `perform`, with `started` called once the action has been started.
    void performThen(const ButtonAction& action, std::function<void()> started);
    // Sends the face of one screen key of the current page when it changed.
    void refreshFace(int key);

    // Actions, knobs and editing.
    struct ActionState;
    ActionState& actionState();
    bool inputAccessOrPrompt();
    // A desktop notification of a press that failed, at most one per key per 10 s.
    void pressFailed(int key, const QString& summary, const QString& reason);
    void pressKey(uint16_t keyCode, uint64_t flags);
    void postMediaKey(int type, uint64_t extraFlags);
    int fineStepCount() const;
    void postFineSteps(int upType, int downType, int step);
    // The audio and backlight calls of knobs and mute toggles run on a worker, one job at a
    // time and in order; detents that arrive meanwhile are merged into the next job.
    // Runs on the worker; gives what to apply on the main thread.
    using WorkerCall = std::function<std::function<void()>()>;
    void queueAudioJob(KnobRole turnRole, int steps, std::function<WorkerCall()> prepare);
    void startAudioJob();
    WorkerCall knobStep(KnobRole role, int steps);
    WorkerCall outputMuteToggle();
    WorkerCall micMuteToggle();
    WorkerCall brightnessToggle();
    // The indicator when neither a backlight nor a monitor over DDC/CI can be adjusted.
    void showNoAdjustableDisplay();
    std::optional<QString> copyIntoStorage(const QString& source, const QString& folderName,
                                           const QString& fileName, const QString& failurePrefix);
    void setLoginItemNote(const std::optional<QString>& note);
    void scanRunningApps();

    std::unique_ptr<StreamDock> dock_;
    std::unique_ptr<AnimationSink> sink_;
    std::unique_ptr<AnimationEngine> engine_;
    std::unique_ptr<ConfigStore> configStore_;
    const Clock* clock_;
    Permissions* permissions_;
    KeySender* keys_;
    SystemAudio* audio_;
    DisplayBrightness* displayBrightness_;
    DesktopMediaKeys* mediaKeys_;
    DockFeatures* dockFeatures_;
    SiteIcons* siteIcons_;
    FaceOverrides* faceOverrides_ = nullptr;
    std::unique_ptr<HUD> hud_;
    std::unique_ptr<WakeWatcher> wakeWatcher_;
    std::unique_ptr<PageFollower> follower_;
    QString shortcutsFolder_;
    AnimationEngine::Loaders animationLoaders_;
    ActionServices actionServices_;
    std::shared_ptr<ActionState> actionState_; // made on first use
    std::unique_ptr<SequenceRunner> sequences_;

    DockConfig config_;
    EditHistory history_;
    Selection selected_ = Selection::key(0);
    MenuTab tab_ = MenuTab::buttons;
    QUuid currentPage_;
    QUuid userPage_;
    std::optional<int> recordingKey_;
    ActionPath recordingPath_;
    QStringList shortcutNames_;
    bool isConnected_ = false;
    QString deviceName_;
    bool accessibilityGranted_ = false;
    bool launchAtLogin_ = false;
    std::optional<QString> loginItemNote_;
    bool screensaverRunning_ = false;
    bool windowShown_ = false;
    QString inaccessibleDockNode_;
    double lastDockActivity_ = 0;
    int pressedKey_ = -1; // the key whose press is being performed; -1 otherwise

    std::map<int, QByteArray> sentImages_;
    QTimer* refreshTimer_ = nullptr;
    QTimer* idleTimer_ = nullptr;
    bool started_ = false;
};

} // namespace velloq
