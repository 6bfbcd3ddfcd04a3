#pragma once

// Waiting with the event loop running, shared by the benchmarks.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace velloq::bench {

inline void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool spinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        spin(5);
    return done();
}

} // namespace velloq::bench
