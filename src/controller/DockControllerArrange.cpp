// Rearranging buttons (swaps, pasted copies) and the window's undo history.

#include "controller/DockController.h"

#include "support/Log.h"

#include <QFile>
#include <QThreadPool>

#include <algorithm>

#include <utility>

namespace velloq {

void DockController::changeConfig(const DockConfig& value, EditHistory::Merge merge) {
    if (value == config_)
        return;
    const QStringList unreachable = history_.record(config_, value, clock_->now(), merge);
    applyConfig(value);
    removeUnreachable(unreachable);
    Q_EMIT historyChanged();
}

void DockController::removeUnreachable(const QStringList& files) {
    if (files.isEmpty())
        return;
    // Copies no kept step can bring back any more.
    QThreadPool::globalInstance()->start([files] {
        for (const QString& file : files)
            QFile::remove(file);
    });
}

void DockController::importConfig(const DockConfig& value, const QStringList& files,
                                  bool keepReplaced) {
    if (value == config_) {
        removeUnreachable(files); // nothing refers to them
        return;
    }
    for (const QString& file : files)
        history_.adopt(file);
    const QStringList unreachable =
        history_.record(config_, value, clock_->now(), EditHistory::Merge::never);
    applyConfig(value, keepReplaced);
    removeUnreachable(unreachable);
    Q_EMIT historyChanged();
}

void DockController::undo() {
    if (std::optional<DockConfig> older = history_.undo(config_)) {
        applyConfig(*older);
        Q_EMIT historyChanged();
    }
}

void DockController::redo() {
    if (std::optional<DockConfig> newer = history_.redo(config_)) {
        applyConfig(*newer);
        Q_EMIT historyChanged();
    }
}

void DockController::swapKeys(int a, int b) {
    const qsizetype count = currentKeys().size();
    if (a == b || a < 0 || b < 0 || a >= count || b >= count)
        return;
    editCurrentPage([&](QList<ButtonAction>& keys, QList<std::optional<QString>>& icons) {
        keys.swapItemsAt(a, b);
        // Only screen keys show an image: a round key neither gives nor takes one.
        if (a < kScreenKeys && b < kScreenKeys && std::max(a, b) < icons.size())
            icons.swapItemsAt(a, b);
    });
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
    editCurrentPage([&](QList<ButtonAction>& keys, QList<std::optional<QString>>& icons) {
        keys[key] = action;
        if (key < kScreenKeys && key < icons.size())
            icons[key] = icon;
    });
    return true;
}

} // namespace velloq
