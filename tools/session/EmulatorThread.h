#pragma once

#include "EmulatedDock.h"
#include "device/DeviceModel.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <ctime>
#include <functional>
#include <memory>
#include <sys/syscall.h>
#include <unistd.h>

namespace velloq::session {

// CPU seconds of a clock_gettime clock (CLOCK_PROCESS_CPUTIME_ID, CLOCK_THREAD_CPUTIME_ID).
inline double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The emulated dock on its own thread.
class EmulatorThread {
public:
    EmulatorThread() {
        thread_.start();
        context_.moveToThread(&thread_);
        run([this] {
            dock_ = std::make_unique<EmulatedDock>(*DockModels::lookup(0x0300, 0x1002));
            dock_->plugIn();
        });
    }
    ~EmulatorThread() {
        run([this] { dock_.reset(); });
        thread_.quit();
        thread_.wait();
    }
    // Runs `work` on the emulator's thread and waits for it.
    void run(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&context_, work, Qt::BlockingQueuedConnection);
    }
    double cpu() {
        double seconds = 0;
        run([&] { seconds = cpuSeconds(CLOCK_THREAD_CPUTIME_ID); });
        return seconds;
    }
    // The kernel's id of the emulator's thread, as /proc/self/task names it.
    QString threadId() {
        long tid = 0;
        run([&] { tid = long(::syscall(SYS_gettid)); });
        return QString::number(tid);
    }
    EmulatedDock& dock() { return *dock_; }

private:
    QThread thread_;
    QObject context_;
    std::unique_ptr<EmulatedDock> dock_;
};

} // namespace velloq::session
