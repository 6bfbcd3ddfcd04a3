#pragma once

#include "system/Permissions.h"

#include <QPointer>
#include <QString>

class QDialog;

namespace velloq {

class KeySender;

class LinuxPermissions final : public Permissions {
public:
    explicit LinuxPermissions(KeySender& keys);
    ~LinuxPermissions() override;

    bool inputAccess() override;
    void promptForInputAccess() override;
    void openAccessibilitySettings() override;

    // The command that installs the udev rule granting /dev/uinput (shown in the dialog).
    static QString udevRuleCommand();
    // The notification's summary and body.
    static QString promptTitle();
    static QString promptBody();

private:
    KeySender& keys_;
    QPointer<QDialog> dialog_;
};

} // namespace velloq
