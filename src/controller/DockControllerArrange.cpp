// Rearranging buttons (swaps, pasted copies) and the window's undo history.

#include "controller/DockController.h"

#include <QFile>
#include <QThreadPool>

#include <algorithm>
#include <optional>
#include <utility>

namespace velloq {

void DockController::changeConfig(const DockConfig& value, EditHistory::Merge merge) {
    if (value == config_)
        return;
    history_.record(config_, value, clock_->now(), merge);
    applyConfig(value);
    Q_EMIT historyChanged();
}

namespace {

// The first key (page and index) or knob that differs between two configurations; a page
// that is only in one of them is not compared.
std::optional<std::pair<QUuid, Selection>> firstChange(const DockConfig& a, const DockConfig& b) {
    QList<QUuid> pages{QUuid()};
    for (const Page& page : b.pages) {
        if (a.page(page.id))
            pages << page.id;
    }
    for (const QUuid& page : pages) {
        const QList<ButtonAction>& keysA = a.keysOf(page);
        const QList<ButtonAction>& keysB = b.keysOf(page);
        const QList<std::optional<QString>>& iconsA = a.customIconsOf(page);
        const QList<std::optional<QString>>& iconsB = b.customIconsOf(page);
        const qsizetype count = std::min(keysA.size(), keysB.size());
        for (qsizetype key = 0; key < count; ++key) {
            const bool iconDiffers =
                key < iconsA.size() && key < iconsB.size() && iconsA.at(key) != iconsB.at(key);
            if (keysA.at(key) != keysB.at(key) || iconDiffers)
                return std::pair(page, Selection::key(int(key)));
        }
    }
    const qsizetype knobs = std::min(a.knobs.size(), b.knobs.size());
    for (qsizetype knob = 0; knob < knobs; ++knob) {
        if (a.knobs.at(knob) != b.knobs.at(knob))
            return std::pair(QUuid(), Selection::knob(int(knob)));
    }
    return std::nullopt;
}

} // namespace

void DockController::undo() {
    if (std::optional<DockConfig> older = history_.undo(config_))
        travelTo(*older);
}

void DockController::redo() {
    if (std::optional<DockConfig> newer = history_.redo(config_))
        travelTo(*newer);
}

void DockController::travelTo(const DockConfig& value) {
    const std::optional<std::pair<QUuid, Selection>> changed = firstChange(config_, value);
    applyConfig(value);
    if (changed) {
        // Shows what came back or went: the button's page, with the button selected.
        if (changed->second.kind == Selection::Kind::key)
            setCurrentPage(changed->first);
        setSelected(changed->second);
    }
}

void DockController::importConfig(const DockConfig& value, const QStringList& files,
                                  bool keepReplaced) {
    if (value == config_) {
        // Nothing refers to the copies, and nothing could have copied them.
        QThreadPool::globalInstance()->start([files] {
            for (const QString& file : files)
                QFile::remove(file);
        });
        return;
    }
    history_.record(config_, value, clock_->now(), EditHistory::Merge::never);
    applyConfig(value, keepReplaced);
    Q_EMIT historyChanged();
}

void DockController::swapKeys(int a, int b) {
    swapKeys(a, b, currentPage_);
}

void DockController::swapKeys(int a, int b, const QUuid& page) {
    const qsizetype count = config_.keysOf(page).size();
    if (a == b || a < 0 || b < 0 || a >= count || b >= count)
        return;
    editPage(page, [&](QList<ButtonAction>& keys, QList<std::optional<QString>>& icons) {
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
    editPage(currentPage_, [&](QList<ButtonAction>& keys, QList<std::optional<QString>>& icons) {
        keys[key] = action;
        if (key < kScreenKeys && key < icons.size())
            icons[key] = icon;
    });
    return true;
}

} // namespace velloq
