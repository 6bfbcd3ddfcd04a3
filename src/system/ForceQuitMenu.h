#pragma once

namespace velloq {

// The menu of running applications that force-quits the chosen one after a confirmation.
class ForceQuitMenu {
public:
    virtual ~ForceQuitMenu() = default;
    // Builds and pops up the menu at the pointer; returns when it closes. Main thread.
    virtual void show() = 0;
};

} // namespace velloq
