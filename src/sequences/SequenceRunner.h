#pragma once

#include "config/DockConfig.h"
#include "support/Clock.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <map>

class QTimer;

namespace velloq {

// Carries out the steps of a sequence: the controller.
class StepPerformer {
public:
    virtual ~StepPerformer() = default;
    // Starts `step` (never a wait, a sequence or a toggle) for `button` and calls `started`
    // once it has been started (an app launched, keys sent, a snippet pasted), before
    // returning or later; a step that fails counts as started.
    virtual void performStep(const ButtonRef& button, const ButtonAction& step,
                             std::function<void()> started) = 0;
};

// Runs sequences: each one's steps in order, the next when the one before has been started,
// waits on timers and measured by the clock, so nothing blocks the main thread. A button runs
// one sequence at a time. Main thread.
class SequenceRunner : public QObject {
    Q_OBJECT

public:
    // A wait looks at the clock at least this often.
    static constexpr int kRecheckMs = 500;

    // `performer` and `clock` must outlive the runner. Destroying it cancels every run.
    SequenceRunner(StepPerformer& performer, const Clock& clock, QObject* parent = nullptr);
    ~SequenceRunner() override;

    // Starts running `steps` for `button`. False, with one log line and nothing run, while a
    // sequence of that button is still running.
    bool start(const ButtonRef& button, const QList<ButtonAction>& steps);
    bool isRunning(const ButtonRef& button) const;
    // Whether that button's sequence is in one of its waits.
    bool isWaiting(const ButtonRef& button) const;
    // The dock shows `page`: the runs of other pages end, their remaining steps and waits
    // dropped, except a run whose own step showed `page`, which goes on there.
    void pageShown(const QUuid& page);
    void cancelAll();

private:
    struct Run {
        ButtonRef button;
        QList<ButtonAction> steps;
        int next = 0;
        double waitEnd = 0;
        QTimer* timer = nullptr;
    };

    void advance(uint64_t id);
    void armTimer(uint64_t id);
    void finish(uint64_t id);

    StepPerformer& performer_;
    const Clock& clock_;
    std::map<uint64_t, Run> runs_;
    uint64_t nextID_ = 1;
    uint64_t performing_ = 0; // the run whose step is being started, while it is
};

} // namespace velloq
