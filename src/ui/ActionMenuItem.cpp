#include "ui/ActionMenuItem.h"

namespace velloq {

ActionMenuItem::ActionMenuItem(const QString& title, std::function<void()> handler_,
                               const QKeySequence& keyEquivalent, QObject* parent)
    : QAction(title, parent)
    , handler(std::move(handler_)) {
    setShortcut(keyEquivalent);
    connect(this, &QAction::triggered, this, &ActionMenuItem::fire);
}

void ActionMenuItem::fire() {
    if (handler)
        handler();
}

} // namespace velloq
