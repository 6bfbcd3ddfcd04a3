#include "system/LinuxPermissions.h"

#include "support/Log.h"
#include "system/KeySender.h"
#include "system/NodeWatcher.h"
#include "system/Notifier.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velloq {

LinuxPermissions::LinuxPermissions(KeySender& keys)
    : keys_(keys) {
}

LinuxPermissions::~LinuxPermissions() {
    delete dialog_.data();
}

void LinuxPermissions::watchInputAccess(std::function<void()> changed) {
    watcher_ = std::make_unique<NodeWatcher>(QStringLiteral("/dev"),
                                             QStringList{QStringLiteral("uinput")});
    QObject::connect(watcher_.get(), &NodeWatcher::changed, watcher_.get(), std::move(changed));
    QString error;
    if (!watcher_->start(&error))
        logLine(QStringLiteral("Could not watch /dev for input access: ") + error);
}

bool LinuxPermissions::inputAccess() {
    return keys_.canInject();
}

QString LinuxPermissions::udevRuleCommand() {
    return QStringLiteral(
        "echo 'KERNEL==\"uinput\", SUBSYSTEM==\"misc\", TAG+=\"uaccess\", "
        "OPTIONS+=\"static_node=uinput\"' | sudo tee /etc/udev/rules.d/70-velloq-uinput.rules "
        "&& echo uinput | sudo tee /etc/modules-load.d/velloq-uinput.conf "
        "&& sudo modprobe uinput && sudo udevadm control --reload && sudo udevadm trigger");
}

QString LinuxPermissions::promptTitle() {
    return QStringLiteral("Velloq needs input access");
}

QString LinuxPermissions::promptBody() {
    return QStringLiteral(
        "Copy, paste, snippets, lock screen, media keys and shortcuts need input access. "
        "Velloq cannot write to /dev/uinput. Open Velloq's settings and choose "
        "\u201cAllow\u2026\u201d "
        "for the command that grants it.");
}

void LinuxPermissions::promptForInputAccess() {
    DesktopNotifier().notify(promptTitle(), promptBody(), QStringLiteral("dialog-warning"));
}

void LinuxPermissions::openAccessibilitySettings() {
    if (!dialog_) {
        auto* dialog = new QDialog;
        dialog->setWindowTitle(QStringLiteral("Input access"));
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        auto* layout = new QVBoxLayout(dialog);
        auto* text = new QLabel(QStringLiteral(
            "Velloq sends keystrokes (copy, paste, snippets, lock screen, media keys and "
            "shortcuts) through a virtual keyboard, which needs write access to /dev/uinput. "
            "On an X11 session it can also use the XTEST extension.\n\n"
            "To grant access, run this command in a terminal, then wait a moment: Velloq notices "
            "the change by itself.\n\n"
            "The dock itself needs Velloq's udev rule, 70-velloq.rules (see the README); once "
            "it is installed, unplug the dock and plug it in again."));
        text->setWordWrap(true);
        layout->addWidget(text);
        auto* command = new QLineEdit(udevRuleCommand());
        command->setReadOnly(true);
        command->setCursorPosition(0);
        command->setObjectName(QStringLiteral("command"));
        layout->addWidget(command);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
        QPushButton* copy =
            buttons->addButton(QStringLiteral("Copy Command"), QDialogButtonBox::ActionRole);
        QObject::connect(copy, &QPushButton::clicked, dialog,
                         [] { QApplication::clipboard()->setText(udevRuleCommand()); });
        QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::hide);
        layout->addWidget(buttons);
        dialog->resize(560, dialog->sizeHint().height());
        dialog_ = dialog;
    }
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

} // namespace velloq
