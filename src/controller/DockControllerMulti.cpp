// Buttons that do more: several actions in order, and toggles with two states.

#include "controller/ActionState.h"

#include "support/Log.h"

#include <utility>

namespace velloq {

void DockController::runSequence(const ButtonAction& sequence) {
    sequences_->start({currentPage_, pressedKey_}, *sequence.sequenceSteps());
}

void DockController::pressToggle(const ButtonAction& toggle) {
    const ButtonRef button{currentPage_, pressedKey_};
    if (sequences_->isRunning(button)) {
        logLine(QStringLiteral("Ignored a press of button %1: its actions are still running")
                    .arg(button.key + 1));
        return;
    }
    const bool on = config_.isToggleOn(button);
    const ButtonAction side = *toggle.toggleSide(on);
    // Turned first: the side may show another page, and the face belongs to this one.
    if (button.key >= 0)
        setToggle(button.key, !on);
    perform(side);
}

bool DockController::setToggle(int key, bool on) {
    if (currentKeys().value(key).kind() != ButtonAction::Kind::toggle)
        return false;
    // A state, not an edit: saved, but no step of the undo history and no full refresh.
    if (!config_.setToggleOn({currentPage_, key}, on))
        return true;
    configStore_->saveInBackground(config_);
    refreshFace(key);
    Q_EMIT configChanged();
    return true;
}

void DockController::refreshFace(int key) {
    if (key >= 0 && key < kScreenKeys)
        refreshScreens(false); // only the faces that changed go to the dock
}

void DockController::performStep(const ButtonRef& button, const ButtonAction& step,
                                 std::function<void()> started) {
    const int pressed = std::exchange(pressedKey_, button.key);
    performThen(step, std::move(started));
    pressedKey_ = pressed;
}

void DockController::performThen(const ButtonAction& action, std::function<void()> started) {
    // A paste goes out once the clipboard has been read, and gives it back later: the next
    // step waits for both, so pastes keep their order and the user's clipboard comes back.
    if (action.kind() == ButtonAction::Kind::snippet) {
        pasteSnippet(*action.snippetID(), std::move(started));
        return;
    }
    perform(action);
    started();
}

} // namespace velloq
