#pragma once

#include "support/Clock.h"

#include <QObject>

#include <functional>

namespace velloq {

// Time and delayed work for the indicator, so its timing can be driven by a test.
class Scheduler : public Clock {
public:
    // Runs `task` on the main thread after `seconds`.
    virtual void schedule(double seconds, std::function<void()> task) = 0;
};

// The real one: the steady clock and QTimer.
class QtScheduler final : public Scheduler {
public:
    double now() const override { return clock_.now(); }
    void schedule(double seconds, std::function<void()> task) override;

private:
    SteadyClock clock_;
    QObject context_;
};

} // namespace velloq
