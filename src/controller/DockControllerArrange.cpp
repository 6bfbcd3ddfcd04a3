// Rearranging buttons (swaps, pasted copies) and the window's undo history.

#include "controller/DockController.h"

#include <QFile>
#include <QThreadPool>

#include <algorithm>
#include <optional>
#include <utility>

namespace velloq {

void DockController::changeConfig(const DockConfig& edited, EditHistory::Merge merge) {
    // A button that is no toggle any more forgets its state.
    DockConfig value = edited;
    value.dropStaleToggleStates();
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
        const qsizetype count = std::min(keysA.size(), keysB.size());
        for (qsizetype key = 0; key < count; ++key) {
            const auto differs = [&](const QList<std::optional<QString>>& iconsA,
                                     const QList<std::optional<QString>>& iconsB) {
                return key < iconsA.size() && key < iconsB.size() &&
                       iconsA.at(key) != iconsB.at(key);
            };
            const bool iconDiffers = differs(a.customIconsOf(page), b.customIconsOf(page)) ||
                                     differs(a.onIconsOf(page), b.onIconsOf(page));
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

// Toggle states follow the dock, not the history: going back keeps them as they are.
void keepToggleStates(DockConfig& target, const DockConfig& current) {
    target.toggleStates = current.toggleStates;
    target.dropStaleToggleStates();
}

} // namespace

void DockController::undo() {
    if (std::optional<DockConfig> older = history_.undo(config_)) {
        keepToggleStates(*older, config_);
        travelTo(*older);
    }
}

void DockController::redo() {
    if (std::optional<DockConfig> newer = history_.redo(config_)) {
        keepToggleStates(*newer, config_);
        travelTo(*newer);
    }
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
    if (!pageExists(page))
        return;
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
