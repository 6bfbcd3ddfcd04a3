#pragma once

namespace velloq {

// The menu of running applications that force-quits the chosen one after a confirmation.
class ForceQuitMenu {
public:
    virtual ~ForceQuitMenu() = default;
    // Pops the menu up at the pointer once the running applications are listed; returns at
    // once. Main thread.
    virtual void show() = 0;
};

} // namespace velloq
