#include "system/ProcessLauncher.h"

#include "support/Log.h"
#include "support/UniqueFd.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velloq {

namespace {

// What the grandchild writes back when it cannot exec.
struct ChildFailure {
    int stage; // 0 fork, 1 chdir, 2 exec
    int error; // errno
};

enum Stage : int { kFork = 0, kChdir = 1, kExec = 2 };

constexpr int kExecWaitMs = 250;

// Everything below runs between fork and exec: async-signal-safe calls only.
void reportAndExit(int fd, int stage, int error) {
    const ChildFailure failure{stage, error};
    ssize_t ignored = ::write(fd, &failure, sizeof failure);
    (void)ignored;
    ::_exit(127);
}

void resetSignals() {
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::sigaction(sig, &dflt, nullptr);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Every descriptor from 3 up closes at exec, whoever opened it and however.
void closeOnExecFrom3() {
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    struct rlimit limit {};
    rlim_t highest = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        highest = limit.rlim_cur;
    for (rlim_t fd = 3; fd < highest; ++fd) {
        const int flags = ::fcntl(static_cast<int>(fd), F_GETFD);
        if (flags >= 0)
            ::fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
    }
}

// The waiting middle process keeps only its status pipe, as descriptor 3: a dock or emulator
// socket held open here would outlive Velloq for as long as the program runs.
void keepOnly(int fd) {
    if (fd != 3) {
        ::dup2(fd, 3);
    }
    if (::syscall(SYS_close_range, 4U, ~0U, 0U) == 0)
        return;
    for (int other = 4; other < 65536; ++other)
        ::close(other);
}

int exitStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

void reap(pid_t child) {
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

QString failureText(const ChildFailure& failure, const QString& workingDir) {
    const QString reason = qt_error_string(failure.error);
    if (failure.stage == kChdir)
        return QStringLiteral("cannot use the folder ") + workingDir + QStringLiteral(": ") +
               reason;
    return reason;
}

} // namespace

LaunchResult DetachedProcessLauncher::launch(const QString& program, const QStringList& arguments,
                                             const QString& workingDir) {
    return start(program, arguments, workingDir, nullptr, {});
}

LaunchResult DetachedProcessLauncher::launchWatched(const QString& program,
                                                    const QStringList& arguments, QObject* context,
                                                    Exited exited) {
    return start(program, arguments, QString(), context, std::move(exited));
}

LaunchResult DetachedProcessLauncher::start(const QString& program, const QStringList& arguments,
                                            const QString& workingDir, QObject* context,
                                            Exited exited) {
    const bool watch = context && exited;
    if (program.isEmpty())
        return {false, QStringLiteral("No program given")};
    QString resolved = program;
    if (!program.contains(u'/')) {
        resolved = QStandardPaths::findExecutable(program);
        if (resolved.isEmpty())
            return {false, qt_error_string(ENOENT)};
    }

    // Built before forking: the child may not allocate.
    const QByteArray path = QFile::encodeName(resolved);
    const QByteArray folder = QFile::encodeName(workingDir);
    std::vector<QByteArray> storage;
    storage.reserve(static_cast<size_t>(arguments.size()) + 1);
    storage.push_back(QFile::encodeName(program));
    for (const QString& arg : arguments)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (QByteArray& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {false, qt_error_string(errno)};
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    UniqueFd statusRead;
    UniqueFd statusWrite;
    if (watch) {
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return {false, qt_error_string(errno)};
        statusRead = UniqueFd(fds[0]);
        statusWrite = UniqueFd(fds[1]);
    }

    const pid_t child = ::fork();
    if (child < 0)
        return {false, qt_error_string(errno)};
    if (child == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0)
            reportAndExit(writeEnd.get(), kFork, errno);
        if (grandchild > 0 && !watch)
            ::_exit(0);
        if (grandchild > 0) {
            resetSignals(); // ours would write to Velloq's own signal pipe
            keepOnly(statusWrite.get());
            int status = 0;
            while (::waitpid(grandchild, &status, 0) < 0 && errno == EINTR) {
            }
            ssize_t ignored = ::write(3, &status, sizeof status);
            (void)ignored;
            ::_exit(0);
        }
        resetSignals();
        closeOnExecFrom3();
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            reportAndExit(writeEnd.get(), kChdir, errno);
        ::execve(path.constData(), argv.data(), environ);
        reportAndExit(writeEnd.get(), kExec, errno);
    }

    writeEnd.reset();
    statusWrite.reset();
    if (!watch)
        reap(child);

    // End of file without data: the grandchild reached exec. The wait is bounded: an exec that
    // hangs (a program on a stuck network mount) counts as started rather than freezing us.
    pollfd ready{readEnd.get(), POLLIN, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, kExecWaitMs);
    } while (polled < 0 && errno == EINTR);
    ChildFailure failure{};
    ssize_t got = 0;
    if (polled != 0) {
        do {
            got = ::read(readEnd.get(), &failure, sizeof failure);
        } while (got < 0 && errno == EINTR);
    }
    LaunchResult result{true, QString()};
    if (got == static_cast<ssize_t>(sizeof failure))
        result = {false, failureText(failure, workingDir)};
    else if (got != 0)
        result = {false, QStringLiteral("the program did not start")};
    if (!watch)
        return result;
    if (!result.started) {
        reap(child); // it ends as soon as it has written the status of the failed exec
        return result;
    }

    const int fd = statusRead.get();
    auto pipe = std::make_shared<UniqueFd>(std::move(statusRead));
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, pipe, child, exited = std::move(exited)] {
                         notifier->setEnabled(false);
                         int status = 0;
                         ssize_t read = 0;
                         do {
                             read = ::read(pipe->get(), &status, sizeof status);
                         } while (read < 0 && errno == EINTR);
                         reap(child);
                         notifier->deleteLater();
                         if (read == static_cast<ssize_t>(sizeof status))
                             exited(exitStatus(status));
                     });
    return result;
}

bool runProcess(ProcessLauncher& launcher, const QString& program, const QStringList& arguments) {
    const LaunchResult result = launcher.launch(program, arguments);
    if (!result.started)
        logLine(QStringLiteral("Could not run ") + program + QStringLiteral(": ") + result.error);
    return result.started;
}

} // namespace velloq
