#include "hud/Scheduler.h"

#include <QTimer>

#include <cmath>

namespace velloq {

void QtScheduler::schedule(double seconds, std::function<void()> task) {
    const int ms = int(std::lround(std::max(seconds, 0.0) * 1000));
    QTimer::singleShot(ms, Qt::PreciseTimer, &context_, std::move(task));
}

} // namespace velloq
