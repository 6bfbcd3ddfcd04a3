#pragma once

#include "system/Permissions.h"

#include <QPointer>
#include <QString>

#include <memory>

class QDialog;

namespace velloq {

class KeySender;
class NodeWatcher;

class LinuxPermissions final : public Permissions {
public:
    explicit LinuxPermissions(KeySender& keys);
    ~LinuxPermissions() override;

    bool inputAccess() override;
    void promptForInputAccess() override;
    void openAccessibilitySettings() override;
    // inotify on /dev/uinput: the udev rule's ACL, or the node made by loading the module.
    void watchInputAccess(std::function<void()> changed) override;

    // The command that installs the udev rule granting /dev/uinput (shown in the dialog).
    static QString udevRuleCommand();
    // The notification's summary and body.
    static QString promptTitle();
    static QString promptBody();

private:
    KeySender& keys_;
    QPointer<QDialog> dialog_;
    std::unique_ptr<NodeWatcher> watcher_;
};

} // namespace velloq
