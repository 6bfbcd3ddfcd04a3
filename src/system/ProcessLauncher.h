#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

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

    // Like launch, and once the program ends, `exited` runs on `context`'s thread with its exit
    // status (128 + the signal when a signal ended it); never when it did not start or when
    // `context` is gone. A launcher that cannot watch never calls it.
    using Exited = std::function<void(int status)>;
    virtual LaunchResult launchWatched(const QString& program, const QStringList& arguments,
                                       QObject* context, Exited exited) {
        (void)context;
        (void)exited;
        return launch(program, arguments);
    }
};

// The real launcher: the child is detached (double fork and setsid, so it is never our zombie
// and outlives us), inherits our environment and standard streams but no other descriptor, and
// an exec failure comes back through a close-on-exec pipe.
class DetachedProcessLauncher final : public ProcessLauncher {
public:
    LaunchResult launch(const QString& program, const QStringList& arguments,
                        const QString& workingDir = QString()) override;
    // The middle process stays to wait for the program and writes its status to a pipe that a
    // socket notifier on `context`'s thread reads; it is reaped then. The program still
    // outlives us: the middle process then ends on the broken pipe.
    LaunchResult launchWatched(const QString& program, const QStringList& arguments,
                               QObject* context, Exited exited) override;

private:
    LaunchResult start(const QString& program, const QStringList& arguments,
                       const QString& workingDir, QObject* context, Exited exited);
};

// Launches and logs "Could not run <program>: <reason>" on failure.
bool runProcess(ProcessLauncher& launcher, const QString& program, const QStringList& arguments);

} // namespace velloq
