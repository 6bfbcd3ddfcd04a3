#pragma once

#include <QAction>
#include <QKeySequence>

#include <functional>

namespace velloq {

// A menu item that runs its own handler when triggered; built in code only.
class ActionMenuItem : public QAction {
    Q_OBJECT

public:
    ActionMenuItem(const QString& title, std::function<void()> handler,
                   const QKeySequence& keyEquivalent = {}, QObject* parent = nullptr);

    std::function<void()> handler;

public Q_SLOTS:
    void fire();
};

} // namespace velloq
