#pragma once

#include <QString>
#include <QStringList>

namespace velloq {

// What starting a program gave: started, or the reason it could not be.
struct LaunchResult {
    bool started = false;
    QString error; // e.g. "No such file or directory"; empty when started
};

// Starts external programs. One interface so that callers can be handed a recording launcher.
class ProcessLauncher {
public:
    ProcessLauncher() = default;
    virtual ~ProcessLauncher() = default;
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    // Starts `program` with `arguments` and returns at once. `program` is a path, or a bare
    // name looked up in PATH. Never goes through a shell. An empty `workingDir` keeps ours.
    virtual LaunchResult launch(const QString& program, const QStringList& arguments,
                                const QString& workingDir = QString()) = 0;
};

// The real launcher: the child is detached (double fork and setsid, so it is never our zombie
// and outlives us), inherits our environment and standard streams but no other descriptor, and
// an exec failure comes back through a close-on-exec pipe.
class DetachedProcessLauncher final : public ProcessLauncher {
public:
    LaunchResult launch(const QString& program, const QStringList& arguments,
                        const QString& workingDir = QString()) override;
};

// Launches and logs "Could not run <program>: <reason>" on failure.
bool runProcess(ProcessLauncher& launcher, const QString& program, const QStringList& arguments);

} // namespace velloq
