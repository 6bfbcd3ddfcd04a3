#pragma once

#include "config/ActionModel.h"
#include "ui/DropdownOption.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;

namespace velloq {

class AppPicker;
class DockController;
class Dropdown;
class KeyRecorder;
class SequenceEditor;
class ToggleEditor;
struct DockConfig;

// The kind of one action and its details: the action of a button, or one inside it (a step of
// "Several Actions", a side of a "Toggle"), addressed by key index and path on the current
// page. Read from the controller and redrawn when it changes; every change goes through it.
class ActionEditor : public QWidget {
    Q_OBJECT

public:
    // `caption` names the kind's row ("Action", "Step 2"); `kinds` are those its menu offers.
    ActionEditor(DockController& controller, int index, const ActionPath& inside,
                 const QString& caption, const QList<ButtonAction::Kind>& kinds,
                 QWidget* parent = nullptr);

    Dropdown* kindMenu() const { return kind_; }
    // Puts `widget` at the end of the kind's row.
    void addToKindRow(QWidget* widget);

    // What choosing `kind` in the menu stores in place of `current`: its default; an action
    // becomes the first step of new several actions, or what a new toggle does when off.
    static ButtonAction defaultAction(ButtonAction::Kind kind, const DockConfig& config,
                                      const ButtonAction& current = ButtonAction::nothing());
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
    void store(const ButtonAction& action);
    void sync();
    void buildDetails(const Shape& shape);
    QWidget* buildTextField(const QString& placeholder);
    QLabel* buildWarning();
    void fillShortcutMenu();
    void syncWarning();

    DockController& controller_;
    int index_;
    ActionPath inside_;
    Dropdown* kind_;
    QHBoxLayout* kindRow_;
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
    QPointer<QSpinBox> waitMs_;
    // What cannot work as typed: a script name not in the folder, an address that is not one.
    QPointer<QLabel> warning_;
};

} // namespace velloq
