#pragma once

#include "config/DockConfig.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

namespace velloq {

// The window's undo and redo: whole configurations before (undo) and after (redo) each step.
// Changes to the same setting within a second of each other make one step, so typing is one
// step per pause. Knows the image copies made this run, and hands back those that no kept
// configuration can reach any more, for the caller to remove.
class EditHistory {
public:
    static constexpr int kMaxSteps = 100;
    static constexpr double kMergeSeconds = 1.0;

    enum class Merge { allowed, never };

    // Records the change `before` → `after` made at `now` (seconds); drops the redo branch.
    void record(const DockConfig& before, const DockConfig& after, double now, Merge merge);
    // The configuration to assign, with `current` kept for the way back; none at the end.
    std::optional<DockConfig> undo(const DockConfig& current);
    std::optional<DockConfig> redo(const DockConfig& current);
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // Names what differs between two configurations ("keys[3]", "snippets[0]", ...).
    static QStringList changedFields(const DockConfig& a, const DockConfig& b);

private:
    // Takes the newest of `from` as the configuration to assign, keeping `current` in `to`.
    std::optional<DockConfig> travel(std::deque<DockConfig>& from, std::deque<DockConfig>& to,
                                     const DockConfig& current);

    std::deque<DockConfig> undo_; // oldest first
    std::deque<DockConfig> redo_; // next redo last
    QStringList lastFields_;      // of the newest step while it may still grow
    double lastTime_ = 0;
};

} // namespace velloq
