// Rearranging buttons (swaps, pasted copies) and the window's undo history.

#include "controller/DockController.h"

#include "support/Log.h"

#include <QFile>
#include <QThreadPool>

#include <algorithm>

#include <utility>

namespace velloq {

void DockController::changeConfig(const DockConfig& edited, EditHistory::Merge merge) {
    // A button that is no toggle any more forgets its state.
    DockConfig value = edited;
    value.dropStaleToggleStates();
    if (value == config_)
        return;
    const QStringList unreachable = history_.record(config_, value, clock_->now(), merge);
    applyConfig(value);
    if (!unreachable.isEmpty()) {
        // Copies no kept step can bring back any more.
        QThreadPool::globalInstance()->start([unreachable] {
            for (const QString& file : unreachable)
                QFile::remove(file);
        });
    }
    Q_EMIT historyChanged();
}

namespace {
// Toggle states follow the dock, not the history: going back keeps them as they are.
void keepToggleStates(DockConfig& target, const DockConfig& current) {
    target.toggleStates = current.toggleStates;
    target.dropStaleToggleStates();
}
} // namespace

void DockController::undo() {
    if (std::optional<DockConfig> older = history_.undo(config_)) {
        keepToggleStates(*older, config_);
        applyConfig(*older);
        Q_EMIT historyChanged();
    }
}

void DockController::redo() {
    if (std::optional<DockConfig> newer = history_.redo(config_)) {
        keepToggleStates(*newer, config_);
        applyConfig(*newer);
        Q_EMIT historyChanged();
    }
}

void DockController::swapKeys(int a, int b) {
    const qsizetype count = currentKeys().size();
    if (a == b || a < 0 || b < 0 || a >= count || b >= count)
        return;
    const QUuid page = currentPage_;
    DockConfig next = config_;
    next.keysOf(page).swapItemsAt(a, b);
    // Only screen keys show an image: a round key neither gives nor takes one.
    for (QList<std::optional<QString>>* icons :
         {&next.customIconsOf(page), &next.onIconsOf(page)}) {
        if (a < kScreenKeys && b < kScreenKeys && std::max(a, b) < icons->size())
            icons->swapItemsAt(a, b);
    }
    // A toggle's state goes with it.
    for (ButtonRef& state : next.toggleStates) {
        if (state.page == page && (state.key == a || state.key == b))
            state.key = state.key == a ? b : a;
    }
    changeConfig(next, EditHistory::Merge::never);
}

void DockController::swapKnobs(int a, int b) {
    const qsizetype count = config_.knobs.size();
    if (a == b || a < 0 || b < 0 || a >= count || b >= count)
        return;
    DockConfig next = config_;
    next.knobs.swapItemsAt(a, b);
    changeConfig(next, EditHistory::Merge::never);
}

bool DockController::pasteButton(int key, const ButtonAction& action,
                                 const std::optional<QString>& customIcon) {
    if (key < 0 || key >= currentKeys().size())
        return false;
    std::optional<QString> icon;
    if (key < kScreenKeys && customIcon) {
        // Its own copy, so that removing either image never breaks the other key.
        icon = copyCustomIcon(*customIcon);
        if (!icon)
            return false;
    }
    DockConfig next = config_;
    next.keysOf(currentPage_)[key] = action;
    QList<std::optional<QString>>& icons = next.customIconsOf(currentPage_);
    if (key < kScreenKeys && key < icons.size())
        icons[key] = icon;
    // The copy starts off, without the on image of what it replaced.
    next.setToggleOn({currentPage_, key}, false);
    if (key < next.onIconsOf(currentPage_).size())
        next.onIconsOf(currentPage_)[key] = std::nullopt;
    changeConfig(next, EditHistory::Merge::never);
    return true;
}

} // namespace velloq
