#pragma once

#include "support/DesktopEntry.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

namespace velloq {

// One process of the current user, as /proc tells it.
struct ProcessInfo {
    pid_t pid = 0;
    quint64 startTime = 0;
    QString exe; // canonical path of the running program
    QStringList argv;
    QString flatpakId; // the sandbox's application id

    // Absent for another user's process, a kernel thread, a zombie or a pid that is gone.
    static std::optional<ProcessInfo> read(pid_t pid,
                                           const QString& procRoot = QStringLiteral("/proc"));
};

// What the desktop tells about a window; empty fields are unknown.
struct WindowIdentity {
    QString appId;      // Wayland app_id, _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE or
                        // the shell's app id; a ".desktop" ending is allowed
    QString wmClass;    // WM_CLASS, class part
    QString wmInstance; // WM_CLASS, instance part
    pid_t pid = 0;

    bool isEmpty() const {
        return appId.isEmpty() && wmClass.isEmpty() && wmInstance.isEmpty() && pid == 0;
    }
    bool operator==(const WindowIdentity&) const = default;
};

// The one matcher between a desktop entry and what runs: the running-app list asks it about
// processes, the pages that follow the app in front about windows. Reads the file system
// (PATH lookups) when made; matching reads nothing. Safe on any thread.
class AppMatcher {
public:
    explicit AppMatcher(const DesktopEntry& entry);

    // The process runs the entry's Exec program (its path, its name, the script of an
    // interpreter, the Flatpak id) or TryExec.
    bool matches(const ProcessInfo& process) const;
    // The window's app id is the entry's desktop file id (less ".desktop"), or its WM_CLASS
    // class or instance is the entry's StartupWMClass (without one, the id less ".desktop"),
    // or its process matches; all without regard to case. `process` is the window's, if known.
    bool matches(const WindowIdentity& window, const ProcessInfo* process) const;

    // The entry's desktop file id: its `id`, else the path below an "applications" folder
    // with "/" as "-", else the file name.
    static QString desktopFileId(const DesktopEntry& entry);
    // Exec names more than the program: a URL or another operand after it, as a launcher's
    // entry for one of its games does (Exec=steam steam://rungameid/N).
    bool hasOperands() const { return hasOperands_; }

private:
    QSet<QString> paths_; // canonical program paths
    QSet<QString> names_; // program file names
    QString flatpakId_;   // for "flatpak run <id>"
    QString idStem_;      // desktop file id less ".desktop"
    QString wmClass_;     // StartupWMClass, or the id stem
    bool hasOperands_ = false;
};

} // namespace velloq
