#pragma once

#include "config/ActionModel.h"
#include "ui/DropdownOption.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace velloq {

class ActionEditor;
class DockController;
struct DockConfig;

// The editor of one button (key index 0-8): its action and, for the screen buttons, the custom
// image (and a toggle's image for when it is on). Everything is read from the controller and
// redrawn when it changes; every change goes through the controller.
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
    // A custom image row: what it shows, "Use Automatic" and the chooser.
    struct IconRow {
        QWidget* row;
        QLabel* text;
        QPushButton* useAutomatic;
        QPushButton* choose;
        // The image last looked at, and whether it has several frames.
        QString path;
        bool animated = false;
    };

    ButtonAction action() const;
    void sync();
    IconRow buildIconRow(const QString& chooseTitle, bool whenOn);
    void syncIconRow(IconRow& row, const QList<std::optional<QString>>& icons, bool shown,
                     const QString& caption);

    DockController& controller_;
    int index_;
    ActionEditor* editor_;
    IconRow icon_;
    IconRow onIcon_;
};

} // namespace velloq
