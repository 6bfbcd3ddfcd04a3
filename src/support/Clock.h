#pragma once

#include <chrono>

namespace velloq {

// Monotonic seconds. The controller and the animation engine read time only through this,
// so tests can move it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

class SteadyClock final : public Clock {
public:
    double now() const override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
};

} // namespace velloq
