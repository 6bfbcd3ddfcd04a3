#pragma once

#include "controller/AnimationEngine.h"
#include "controller/WakeWatcher.h"
#include "support/Clock.h"
#include "system/Permissions.h"

#include <atomic>
#include <functional>
#include <vector>

namespace velloq::test {

// A clock the tests move by hand.
class ManualClock final : public Clock {
public:
    double now() const override { return time; }
    void advance(double seconds) { time += seconds; }
    double time = 5000;
};

// Real time that a test can move forward at once, so animations still play while an idle
// delay passes in no time. The dock's writer may read it.
class ShiftedClock final : public Clock {
public:
    double now() const override { return steady_.now() + offset; }
    bool isSteady() const override { return true; }
    void advance(double seconds) { offset = offset + seconds; }
    std::atomic<double> offset = 0;

private:
    SteadyClock steady_;
};

// Records every batch the engine sends; `pending` plays the dock's write queue.
class RecordingSink final : public AnimationSink {
public:
    bool hasDevice() const override { return device; }
    int pendingBatches() const override { return pending; }
    void setImages(const ImageBatch& images) override { batches.push_back(images); }

    bool device = true;
    int pending = 0;
    std::vector<ImageBatch> batches;
};

class FakePermissions final : public Permissions {
public:
    bool inputAccess() override { return granted; }
    void promptForInputAccess() override { ++prompts; }
    void openAccessibilitySettings() override { ++helpOpened; }
    void watchInputAccess(std::function<void()> callback) override {
        changed = std::move(callback);
    }

    bool granted = true;
    std::function<void()> changed; // what the watch calls
    int prompts = 0;
    int helpOpened = 0;
};

class FakeWakeWatcher final : public WakeWatcher {
public:
    void start() override { started = true; }
    void wake() { Q_EMIT woke(); }
    bool started = false;
};

} // namespace velloq::test
