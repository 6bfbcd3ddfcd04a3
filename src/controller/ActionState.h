#pragma once

// The controller's state for actions, knobs and editing; shared by DockControllerActions.cpp,
// DockControllerKnobs.cpp and DockControllerEditing.cpp only.

#include "controller/DockController.h"
#include "support/DesktopEntry.h"
#include "system/AppLauncher.h"
#include "system/Applications.h"
#include "system/Clipboard.h"
#include "system/Notifier.h"
#include "system/ProcessLauncher.h"
#include "system/ShortcutRecorder.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace velloq {

struct DockController::ActionState {
    explicit ActionState(const ActionServices& services);

    ProcessLauncher* launcher = nullptr;
    UrlOpener* urlOpener = nullptr;
    Notifier* notifier = nullptr;
    std::unique_ptr<ProcessLauncher> ownLauncher;
    std::unique_ptr<UrlOpener> ownUrlOpener;
    std::unique_ptr<Notifier> ownNotifier;
    // When a failed press of each key was last told (clock seconds).
    std::map<int, double> failureNotices;
    Clipboard clipboard;

    // iconFetchWork: one pending website-icon fetch, replaced by each newer one.
    QTimer iconFetchTimer;
    QString iconFetchText;

    // Where the user last chose an image or an animation; open panels start there.
    QString lastChosenFolder;

    // recordMonitor: the key watcher while a shortcut is being recorded.
    std::unique_ptr<ShortcutRecorder> recordMonitor;

    // Audio and backlight work, in order: a knob turn (merged with the detents that follow it
    // directly) or a press. Each is prepared on the main thread when its turn comes, so it sees
    // the state the jobs before it left; the pool has one thread and is waited for before the
    // services go away.
    struct AudioJob {
        KnobRole turnRole = KnobRole::nothing;
        int steps = 0;
        std::function<WorkerCall()> prepare; // a press; empty for a turn
    };
    std::deque<AudioJob> audioJobs;
    bool audioJobRunning = false;
    QThreadPool audioWorker;

    // The way each media key went when it was last used: true when the desktop took it.
    std::map<int, bool> mediaKeyRoutes;

    // The application lists, filled by scans on worker threads.
    std::optional<QList<DesktopEntry>> installedEntries;
    std::optional<QList<AppEntry>> installedApps;
    bool installedScanning = false;
    bool runningScanWanted = false; // waits for the installed entries
    std::optional<QList<AppEntry>> runningApps;
    quint64 runningStamp = 0;
};

// The speaker symbol for an output level.
inline QString volumeSymbol(float level) {
    if (level < 0.01F)
        return QStringLiteral("speaker.fill");
    if (level < 0.34F)
        return QStringLiteral("speaker.wave.1.fill");
    if (level < 0.67F)
        return QStringLiteral("speaker.wave.2.fill");
    return QStringLiteral("speaker.wave.3.fill");
}

} // namespace velloq
