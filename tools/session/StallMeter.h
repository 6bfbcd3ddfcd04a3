#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace velloq::session {

// The longest time the main thread did not get to its 1 ms timer, from construction on.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_,
                         [this] { longest_ = std::max(longest_, since_.restart()); });
        since_.start();
        timer_.start(1);
    }
    double longestMs() const { return double(std::max(longest_, since_.elapsed())); }

private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
};

} // namespace velloq::session
