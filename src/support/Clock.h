#pragma once

#include <chrono>

namespace velloq {

// Monotonic seconds. The controller and the animation engine read time only through this,
// so tests can move it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
    // Whether now() is steady time (perhaps moved forward by a fixed offset) that any thread
    // may read. Only such a clock can pace work on another thread.
    virtual bool isSteady() const { return false; }
};

class SteadyClock final : public Clock {
public:
    double now() const override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    bool isSteady() const override { return true; }
};

} // namespace velloq
