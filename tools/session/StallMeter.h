#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace velloq::session {

// The longest time the main thread did not get to its 1 ms timer, from construction on; and
// the most CPU time it spent between two ticks, which the machine's other load cannot
// lengthen.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            longest_ = std::max(longest_, since_.restart());
            const double cpu = threadCpuMs();
            busiest_ = std::max(busiest_, cpu - lastCpu_);
            lastCpu_ = cpu;
        });
        since_.start();
        lastCpu_ = threadCpuMs();
        timer_.start(1);
    }
    double longestMs() const { return double(std::max(longest_, since_.elapsed())); }
    double busiestMs() const { return std::max(busiest_, threadCpuMs() - lastCpu_); }

private:
    static double threadCpuMs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
    }

    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
    double lastCpu_ = 0;
    double busiest_ = 0;
};

} // namespace velloq::session
