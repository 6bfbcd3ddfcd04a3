#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace velloq {

class DockController;

// The window's editing keys: Ctrl+Z / Ctrl+Shift+Z undo and redo every change made in it, and
// Ctrl+C / Ctrl+V copy and paste the selected button. In a text field all four act on the
// field's own text, as everywhere else on the desktop.
class EditKeys : public QObject {
    Q_OBJECT

public:
    // Serves key presses within `scope`'s window while `scope` exists.
    EditKeys(DockController& controller, QWidget* scope);
    ~EditKeys() override;
    EditKeys(const EditKeys&) = delete;
    EditKeys& operator=(const EditKeys&) = delete;

    void copySelected();
    // A paste that cannot be carried out changes nothing and says why in the dock preview.
    void pasteOnSelected();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refuse(const QString& text);

    DockController& controller_;
    QPointer<QWidget> scope_;
};

} // namespace velloq
