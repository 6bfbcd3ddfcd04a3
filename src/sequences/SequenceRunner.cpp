#include "sequences/SequenceRunner.h"

#include "support/Log.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace velloq {

SequenceRunner::SequenceRunner(StepPerformer& performer, const Clock& clock, QObject* parent)
    : QObject(parent)
    , performer_(performer)
    , clock_(clock) {
}

SequenceRunner::~SequenceRunner() {
    cancelAll();
}

bool SequenceRunner::isRunning(const ButtonRef& button) const {
    return std::any_of(runs_.begin(), runs_.end(),
                       [&](const auto& entry) { return entry.second.button == button; });
}

bool SequenceRunner::isWaiting(const ButtonRef& button) const {
    return std::any_of(runs_.begin(), runs_.end(), [&](const auto& entry) {
        return entry.second.button == button && entry.second.timer &&
               entry.second.timer->isActive();
    });
}

bool SequenceRunner::start(const ButtonRef& button, const QList<ButtonAction>& steps) {
    if (isRunning(button)) {
        logLine(QStringLiteral("Ignored a press of button %1: its actions are still running")
                    .arg(button.key + 1));
        return false;
    }
    const uint64_t id = nextID_++;
    runs_[id] = Run{button, steps, 0, 0, nullptr};
    advance(id);
    return true;
}

void SequenceRunner::advance(uint64_t id) {
    const auto found = runs_.find(id);
    if (found == runs_.end())
        return;
    Run& run = found->second;
    if (run.next >= run.steps.size()) {
        finish(id);
        return;
    }
    const ButtonAction step = run.steps.at(run.next++);
    if (const std::optional<int> ms = step.waitMs()) {
        run.waitEnd = clock_.now() + *ms / 1000.0;
        armTimer(id);
        return;
    }
    // The next step starts from the event loop once this one has started, whether that is at
    // once or later, so a long sequence never runs as one deep call.
    auto called = std::make_shared<bool>(false);
    QPointer<SequenceRunner> weak(this);
    const ButtonRef button = run.button;
    performing_ = id;
    performer_.performStep(button, step, [weak, id, called] {
        if (!weak || std::exchange(*called, true))
            return;
        QTimer::singleShot(0, weak, [weak, id] {
            if (weak)
                weak->advance(id);
        });
    });
    performing_ = 0;
}

void SequenceRunner::armTimer(uint64_t id) {
    Run& run = runs_.at(id);
    if (!run.timer) {
        run.timer = new QTimer(this);
        run.timer->setSingleShot(true);
        run.timer->setTimerType(Qt::PreciseTimer);
        connect(run.timer, &QTimer::timeout, this, [this, id] {
            const auto found = runs_.find(id);
            if (found == runs_.end())
                return;
            if (clock_.now() >= found->second.waitEnd)
                advance(id);
            else
                armTimer(id);
        });
    }
    // The clock decides, and a long wait looks at it now and then: a clock that is not the
    // timers' own (a test's) ends it in time too.
    const double remainingMs = std::max(0.0, std::ceil((run.waitEnd - clock_.now()) * 1000));
    run.timer->start(int(std::min(remainingMs, double(kRecheckMs))));
}

void SequenceRunner::finish(uint64_t id) {
    const auto found = runs_.find(id);
    if (found == runs_.end())
        return;
    if (QTimer* timer = found->second.timer) {
        timer->stop();
        timer->deleteLater();
    }
    runs_.erase(found);
}

void SequenceRunner::pageShown(const QUuid& page) {
    std::vector<uint64_t> ended;
    for (auto& [id, run] : runs_) {
        if (id == performing_)
            run.button.page = page;
        else if (run.button.page != page)
            ended.push_back(id);
    }
    for (const uint64_t id : ended)
        finish(id);
}

void SequenceRunner::cancelAll() {
    while (!runs_.empty())
        finish(runs_.begin()->first);
}

} // namespace velloq
