// The editing operations the window calls: binding actions, the open panels and the copies
// they make, snippets, the shortcut recorder, the application lists and autostart.

#include "controller/ActionState.h"

#include "siteicons/SiteIcons.h"
#include "support/Background.h"
#include "support/Log.h"
#include "system/Autostart.h"
#include "system/Permissions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <utility>

namespace velloq {

namespace {

constexpr int kIconFetchDelayMs = 1200;

// The installed applications as a worker scans them: `apps` sorted by name, each with the
// entry its icon is to be made from (`iconSources`, in the same order).
struct InstalledScan {
    QList<DesktopEntry> entries;
    QList<AppEntry> apps;
    QList<DesktopEntry> iconSources;
};

// Theme icons can only be made on the main thread, and a few hundred take longer than a frame:
// they are made a slice at a time, the event loop running in between. `done` gets the scan
// back with every icon made, unless `context` is gone.
constexpr int kIconSliceMs = 4;

void makeIcons(QObject* context, std::shared_ptr<InstalledScan> scan, qsizetype next,
               std::function<void(InstalledScan)> done) {
    QElapsedTimer slice;
    slice.start();
    while (next < scan->apps.size() && slice.elapsed() < kIconSliceMs) {
        scan->apps[next].icon = scan->iconSources.at(next).icon();
        ++next;
    }
    if (next < scan->apps.size()) {
        QTimer::singleShot(
            0, context, [context, scan = std::move(scan), next, done = std::move(done)]() mutable {
                makeIcons(context, std::move(scan), next, std::move(done));
            });
        return;
    }
    scan->iconSources.clear();
    done(std::move(*scan));
}

// Every format the screensaver plays: animated images, and videos by their extension.
QString animationNameFilter() {
    return QStringLiteral("Animations (*.gif *.webp *.mp4 *.mov *.m4v)");
}

// Where an image chooser starts before the user has chosen anything: Pictures, else home.
QString picturesFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

QString imageNameFilter() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return QStringLiteral("Images (") + patterns.join(u' ') + u')';
}

} // namespace

std::optional<QString> runFileDialog(const OpenPanelRequest& request) {
    QFileDialog dialog(nullptr, request.message, request.startFolder, request.nameFilter);
    if (request.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QFileInfo(request.fileName).suffix());
        dialog.selectFile(request.fileName);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile); // one file, never a folder
    }
    dialog.setLabelText(QFileDialog::Accept, request.prompt);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}

bool DockController::pageExists(const QUuid& page) const {
    if (page.isNull() || config_.page(page))
        return true;
    logLine(QStringLiteral("Dropped an edit: its page ") + page.toString(QUuid::WithoutBraces) +
            QStringLiteral(" no longer exists"));
    return false;
}

void DockController::setAction(const ButtonAction& action, int key) {
    setAction(action, key, currentPage_);
}

void DockController::setAction(const ButtonAction& action, int key, const QUuid& page) {
    if (key < 0 || key >= config_.keysOf(page).size() || action.kind() == ButtonAction::Kind::wait)
        return;
    // Typing an address or a path assigns at every character: one step per pause.
    if (!editPage(
            page, [&](QList<ButtonAction>& keys, auto&) { keys[key] = action; },
            EditHistory::Merge::allowed))
        return;

    if (needsAccessibility(action) && !permissions().inputAccess())
        permissions().promptForInputAccess();
    if (const std::optional<QString> text = action.urlText()) {
        // Typing an address fetches its icon once the typing pauses.
        ActionState& state = actionState();
        state.iconFetchText = *text;
        state.iconFetchTimer.start(kIconFetchDelayMs);
    }
    if (action.kind() == ButtonAction::Kind::shortcut && shortcutNames_.isEmpty())
        loadShortcutNames();
}

void DockController::setInnerAction(const ButtonAction& action, int key, const ActionPath& path) {
    setInnerAction(action, key, path, currentPage_);
}

void DockController::setInnerAction(const ButtonAction& action, int key, const ActionPath& path,
                                    const QUuid& page) {
    const QList<ButtonAction>& keys = config_.keysOf(page);
    if (key < 0 || key >= keys.size())
        return;
    if (const std::optional<ButtonAction> whole = keys.at(key).replacing(path, action))
        setAction(*whole, key, page);
}

std::optional<QString> DockController::runPanel(const OpenPanelRequest& request) {
    // Without a folder of its own, a panel starts where the user last chose a file.
    OpenPanelRequest shown = request;
    if (shown.startFolder.isEmpty())
        shown.startFolder = actionState().lastChosenFolder.isEmpty()
                                ? picturesFolder()
                                : actionState().lastChosenFolder;
    std::optional<QString> path =
        actionServices_.openPanel ? actionServices_.openPanel(shown) : runFileDialog(shown);
    if (path && request.startFolder.isEmpty())
        actionState().lastChosenFolder = QFileInfo(*path).absolutePath();
    return path;
}

QString DockController::dataFolder() const {
    return QFileInfo(configStore_->path()).absolutePath();
}

QStringList DockController::applicationDirs() const {
    return actionServices_.applicationDirs.isEmpty() ? DesktopEntries::applicationDirs()
                                                     : actionServices_.applicationDirs;
}

void DockController::chooseAppWithPanel(int key, const ActionPath& path) {
    QTimer::singleShot(0, this, [this, key, path, page = currentPage_] {
        const std::optional<QString> file =
            runPanel({QStringLiteral("Choose an App"), QStringLiteral("Choose"),
                      QStringLiteral("Applications (*.desktop)"),
                      QStringLiteral("/usr/share/applications")});
        if (file)
            setInnerAction(ButtonAction::app(*file), key, path, page);
    });
}

void DockController::chooseCustomIcon(int key) {
    QTimer::singleShot(0, this, [this, key, page = currentPage_] {
        const std::optional<QString> path =
            runPanel({QStringLiteral("Choose an Image"), QStringLiteral("Use Image"),
                      imageNameFilter(), QString()});
        if (path)
            useCustomIcon(key, *path, page);
    });
}

void DockController::chooseScreensaverGIF() {
    QTimer::singleShot(0, this, [this] {
        const std::optional<QString> path =
            runPanel({QStringLiteral("Choose an Animation"), QStringLiteral("Use Animation"),
                      animationNameFilter(), QString()});
        if (path)
            useScreensaverGIF(*path);
    });
}

std::optional<QString> DockController::copyIntoStorage(const QString& source,
                                                       const QString& folderName,
                                                       const QString& fileName,
                                                       const QString& failurePrefix) {
    const QString folder = dataFolder() + u'/' + folderName;
    if (!QDir().mkpath(folder)) {
        logLine(failurePrefix + QStringLiteral("cannot create the folder ") + folder);
        return std::nullopt;
    }
    const QString destination = folder + u'/' + fileName;
    QFile file(source);
    if (!file.copy(destination)) {
        logLine(failurePrefix + file.errorString());
        return std::nullopt;
    }
    return destination;
}

std::optional<QString> DockController::copyCustomIcon(const QString& source) {
    QString extension = QFileInfo(source).suffix();
    if (extension.isEmpty())
        extension = QStringLiteral("png");
    const QString name =
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + u'.' + extension;
    return copyIntoStorage(source, QStringLiteral("CustomIcons"), name,
                           QStringLiteral("Could not copy icon: "));
}

bool DockController::useCustomIcon(int key, const QString& source) {
    return useCustomIcon(key, source, currentPage_);
}

bool DockController::useCustomIcon(int key, const QString& source, const QUuid& page) {
    return useIconCopy(key, source, page, false);
}

bool DockController::useIconCopy(int key, const QString& source, const QUuid& page, bool whenOn) {
    const auto icons = [&](DockConfig& config) -> QList<std::optional<QString>>& {
        return whenOn ? config.onIconsOf(page) : config.customIconsOf(page);
    };
    if (key < 0 || key >= icons(config_).size() || !pageExists(page))
        return false;
    const std::optional<QString> copy = copyCustomIcon(source);
    if (!copy)
        return false;
    DockConfig next = config_;
    icons(next)[key] = *copy;
    changeConfig(next, EditHistory::Merge::never);
    return true;
}

void DockController::chooseOnIcon(int key) {
    QTimer::singleShot(0, this, [this, key, page = currentPage_] {
        const std::optional<QString> path =
            runPanel({QStringLiteral("Choose an Image for When On"), QStringLiteral("Use Image"),
                      imageNameFilter(), QString()});
        if (path)
            useOnIcon(key, *path, page);
    });
}

bool DockController::useOnIcon(int key, const QString& source) {
    return useOnIcon(key, source, currentPage_);
}

bool DockController::useOnIcon(int key, const QString& source, const QUuid& page) {
    return useIconCopy(key, source, page, true);
}

void DockController::clearOnIcon(int key) {
    if (key < 0 || key >= config_.onIconsOf(currentPage_).size())
        return;
    DockConfig next = config_;
    next.onIconsOf(currentPage_)[key] = std::nullopt;
    changeConfig(next, EditHistory::Merge::never);
}

bool DockController::useScreensaverGIF(const QString& source) {
    // The extension stays: it tells a video from an animated image.
    QString extension = QFileInfo(source).suffix().toLower();
    if (extension.isEmpty())
        extension = QStringLiteral("gif");
    const QString name =
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + u'.' + extension;
    const std::optional<QString> copy =
        copyIntoStorage(source, QStringLiteral("Screensavers"), name,
                        QStringLiteral("Could not copy screensaver GIF: "));
    if (!copy)
        return false;
    DockConfig next = config_;
    next.screensaverAnimation = *copy;
    changeConfig(next, EditHistory::Merge::never);
    return true;
}

void DockController::clearCustomIcon(int key) {
    if (key < 0 || key >= currentCustomIcons().size())
        return;
    editPage(currentPage_,
             [&](auto&, QList<std::optional<QString>>& icons) { icons[key] = std::nullopt; });
}

void DockController::deleteSnippet(const QUuid& id) {
    DockConfig next = config_;
    next.snippets.removeIf([&id](const Snippet& snippet) { return snippet.id == id; });
    next.forEachAction([&id](ButtonAction& action) {
        if (action.snippetID() == id)
            action = ButtonAction::nothing();
    });
    changeConfig(next, EditHistory::Merge::never);
}

QUuid DockController::addPage(const QString& name) {
    DockConfig next = config_;
    Page page = Page::make(name);
    // The dock shows the new page at once: give it a way back before it has anything else.
    page.keys[0] = ButtonAction::page(QUuid());
    const QUuid id = page.id;
    next.pages.append(std::move(page));
    changeConfig(next, EditHistory::Merge::never);
    setCurrentPage(id);
    return id;
}

void DockController::renamePage(const QUuid& id, const QString& name) {
    DockConfig next = config_;
    if (Page* page = next.page(id)) {
        page->name = name;
        changeConfig(next, EditHistory::Merge::never);
    }
}

void DockController::deletePage(const QUuid& id) {
    if (!config_.page(id))
        return;
    DockConfig next = config_;
    next.pages.removeIf([&id](const Page& page) { return page.id == id; });
    next.forEachAction([&id](ButtonAction& action) {
        if (action.pageID() == id)
            action = ButtonAction::nothing();
    });
    changeConfig(next, EditHistory::Merge::never); // moves the dock home if it showed this page
}

int DockController::keysOpening(const QUuid& id) const {
    int count = 0;
    config_.forEachAction([&](const ButtonAction& action) { count += action.pageID() == id; });
    return count;
}

int DockController::keysPasting(const QUuid& snippetID) const {
    int count = 0;
    config_.forEachAction(
        [&](const ButtonAction& action) { count += action.snippetID() == snippetID; });
    return count;
}

void DockController::startRecordingShortcut(int key, const ActionPath& path) {
    stopRecordingShortcut();
    recordingKey_ = key;
    recordingPath_ = path;
    Q_EMIT recordingKeyChanged();
    QPointer<DockController> weak(this);
    actionState().recordMonitor = std::make_unique<ShortcutRecorder>(
        [weak, page = currentPage_](const ShortcutRecording::Decision& decision) {
            if (!weak || !weak->recordingKey_)
                return false;
            if (decision.kind == ShortcutRecording::Decision::cancel) {
                weak->stopRecordingShortcut();
                return true;
            }
            const int recorded = *weak->recordingKey_;
            const ActionPath inside = weak->recordingPath_;
            weak->stopRecordingShortcut();
            weak->setInnerAction(ButtonAction::keys(decision.combo), recorded, inside, page);
            return true;
        });
}

void DockController::stopRecordingShortcut() {
    if (actionState_ && actionState_->recordMonitor) {
        // It may be the caller (its key handler): stop it now, delete it later.
        ShortcutRecorder* monitor = actionState_->recordMonitor.release();
        monitor->stop();
        monitor->deleteLater();
    }
    if (recordingKey_) {
        recordingKey_.reset();
        recordingPath_.clear();
        Q_EMIT recordingKeyChanged();
    }
}

void DockController::loadInstalledApps() {
    ActionState& state = actionState();
    if (state.installedEntries || state.installedScanning)
        return;
    state.installedScanning = true;
    const QStringList dirs = applicationDirs();
    inBackground(
        this,
        [dirs] {
            InstalledScan scan;
            scan.entries = DesktopEntries::installedApplications(dirs);
            QHash<QString, qsizetype> byPath;
            for (qsizetype i = 0; i < scan.entries.size(); ++i) {
                const DesktopEntry& entry = scan.entries.at(i);
                scan.apps.append({entry.path, entry.displayName(), QIcon()});
                byPath.insert(entry.path, i);
            }
            Applications::sortByName(scan.apps);
            for (const AppEntry& app : std::as_const(scan.apps))
                scan.iconSources.append(scan.entries.at(byPath.value(app.path)));
            return scan;
        },
        [this](InstalledScan scan) {
            makeIcons(this, std::make_shared<InstalledScan>(std::move(scan)), 0,
                      [this](InstalledScan made) {
                          ActionState& arrived = actionState();
                          arrived.installedScanning = false;
                          arrived.installedEntries = std::move(made.entries);
                          arrived.installedApps = std::move(made.apps);
                          Q_EMIT installedAppsChanged();
                          if (std::exchange(arrived.runningScanWanted, false))
                              scanRunningApps();
                      });
        });
}

QList<AppEntry> DockController::installedApps() const {
    return actionState_ && actionState_->installedApps ? *actionState_->installedApps
                                                       : QList<AppEntry>();
}

bool DockController::installedAppsLoaded() const {
    return actionState_ && actionState_->installedApps;
}

void DockController::loadRunningApps() {
    ActionState& state = actionState();
    if (!state.installedApps) {
        // The running apps are matched against the installed ones, and take their icons.
        ++state.runningStamp; // a scan still running is overtaken
        state.runningScanWanted = true;
        loadInstalledApps();
        return;
    }
    scanRunningApps();
}

void DockController::scanRunningApps() {
    ActionState& state = actionState();
    const quint64 stamp = ++state.runningStamp;
    // Matched against the entries installed now, so an app installed since the installed list
    // was read still counts; icons are made here, on the main thread.
    const QStringList dirs = applicationDirs();
    inBackground(
        this, [dirs] { return Applications::runningApps(dirs); },
        [this, stamp](QList<AppEntry> apps) {
            ActionState& arrived = actionState();
            if (stamp != arrived.runningStamp)
                return;
            QHash<QString, QIcon> icons;
            for (const AppEntry& app : std::as_const(*arrived.installedApps))
                icons.insert(app.path, app.icon);
            for (AppEntry& app : apps)
                app.icon = icons.contains(app.path) ? icons.value(app.path)
                                                    : Applications::iconFor(app.iconName);
            arrived.runningApps = std::move(apps);
            Q_EMIT runningAppsChanged();
        });
}

QList<AppEntry> DockController::runningApps() const {
    return actionState_ && actionState_->runningApps ? *actionState_->runningApps
                                                     : QList<AppEntry>();
}

bool DockController::runningAppsLoaded() const {
    return actionState_ && actionState_->runningApps;
}

void DockController::openShortcutsFolder() {
    QDir().mkpath(shortcutsFolder_);
    actionState().urlOpener->openUrl(QUrl::fromLocalFile(shortcutsFolder_), {});
}

void DockController::openAccessibilitySettings() {
    permissions().openAccessibilitySettings();
}

void DockController::setLaunchAtLogin(bool enabled) {
    QString executable = actionServices_.executable;
    if (executable.isEmpty())
        executable = qEnvironmentVariable("APPIMAGE"); // the image, not its mount point
    if (executable.isEmpty())
        executable = QCoreApplication::applicationFilePath();
    QString error;
    if (Autostart::setEnabled(enabled, executable, &error))
        setLoginItemNote(std::nullopt);
    else
        setLoginItemNote(Autostart::failureNote(error));
    // The toggle always ends showing the real state.
    const bool now = Autostart::isEnabled();
    if (now != launchAtLogin_) {
        launchAtLogin_ = now;
        Q_EMIT launchAtLoginChanged();
    }
}

void DockController::setLoginItemNote(const std::optional<QString>& note) {
    if (note == loginItemNote_)
        return;
    loginItemNote_ = note;
    Q_EMIT loginItemNoteChanged();
}

} // namespace velloq
