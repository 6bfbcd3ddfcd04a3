#pragma once

#include "config/ActionModel.h"
#include "ui/DropdownOption.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace velloq {

class AppPicker;
class DockController;
class Dropdown;
class KeyRecorder;
struct DockConfig;

// The editor of one button (key index 0-8): the kind of action, its details and, for the
// screen buttons, the custom image. Everything is read from the controller and redrawn when it
// changes; every change goes through the controller.
class KeyEditor : public QWidget {
    Q_OBJECT

public:
    KeyEditor(DockController& controller, int index, QWidget* parent = nullptr);

    int index() const { return index_; }

    // "Screen button 1" … "Screen button 6", "Round button 1" … "Round button 3".
    static QString title(int index);
    // What choosing `kind` in the "Action" menu stores.
    static ButtonAction defaultAction(ButtonAction::Kind kind, const DockConfig& config);
    // "Home", then the pages in their order; the values are the page ids (nil for home).
    static QList<DropdownOption> pageOptions(const DockConfig& config);

private:
    // The details shown below the kind menu; rebuilt only when this changes, so that a text
    // field keeps its cursor and focus while each keystroke assigns the configuration.
    struct Shape {
        ButtonAction::Kind kind;
        bool hasSnippets = false;
        bool operator==(const Shape&) const = default;
    };

    ButtonAction action() const;
    void sync();
    void buildDetails(const Shape& shape);
    QWidget* buildTextField(const QString& placeholder);
    QLabel* buildWarning();
    void fillShortcutMenu();
    void syncWarning();
    void syncIconRow();

    DockController& controller_;
    int index_;
    Dropdown* kind_;
    QWidget* details_ = nullptr;
    std::optional<Shape> shape_;
    // The controls of the current details; each is null unless its kind is shown.
    QPointer<AppPicker> appPicker_;
    QPointer<Dropdown> function_;
    QPointer<Dropdown> snippet_;
    QPointer<Dropdown> page_;
    QPointer<KeyRecorder> recorder_;
    QPointer<QLineEdit> text_;
    QPointer<QMenu> shortcutMenu_;
    // What cannot work as typed: a script name not in the folder, an address that is not one.
    QPointer<QLabel> warning_;

    QWidget* iconRow_;
    QLabel* iconText_;
    QPushButton* useAutomatic_;
    QPushButton* chooseImage_;
    // The custom image last looked at, and whether it has several frames.
    QString iconPath_;
    bool iconAnimated_ = false;
};

} // namespace velloq
