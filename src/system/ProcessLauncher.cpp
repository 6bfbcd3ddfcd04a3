#include "system/ProcessLauncher.h"

#include "support/Log.h"
#include "support/UniqueFd.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
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

    const pid_t child = ::fork();
    if (child < 0)
        return {false, qt_error_string(errno)};
    if (child == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0)
            reportAndExit(writeEnd.get(), kFork, errno);
        if (grandchild > 0)
            ::_exit(0);
        resetSignals();
        closeOnExecFrom3();
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            reportAndExit(writeEnd.get(), kChdir, errno);
        ::execve(path.constData(), argv.data(), environ);
        reportAndExit(writeEnd.get(), kExec, errno);
    }

    writeEnd.reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    // End of file without data: the grandchild reached exec. The wait is bounded: an exec that
    // hangs (a program on a stuck network mount) counts as started rather than freezing us.
    pollfd ready{readEnd.get(), POLLIN, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, kExecWaitMs);
    } while (polled < 0 && errno == EINTR);
    if (polled == 0)
        return {true, QString()};
    ChildFailure failure{};
    ssize_t got = 0;
    do {
        got = ::read(readEnd.get(), &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof failure))
        return {false, failureText(failure, workingDir)};
    if (got != 0)
        return {false, QStringLiteral("the program did not start")};
    return {true, QString()};
}

bool runProcess(ProcessLauncher& launcher, const QString& program, const QStringList& arguments) {
    const LaunchResult result = launcher.launch(program, arguments);
    if (!result.started)
        logLine(QStringLiteral("Could not run ") + program + QStringLiteral(": ") + result.error);
    return result.started;
}

} // namespace velloq
