#pragma once

#include "config/ActionModel.h"
#include "system/Applications.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace velloq {

class AppMenu;
class DockController;

// The app of an "Open App" button: its icon and name, and "Choose App" with the app chooser.
class AppPicker : public QWidget {
    Q_OBJECT

public:
    // The app of the action at `inside` the action of key `index`.
    AppPicker(DockController& controller, int index, const QString& path, QWidget* parent = nullptr,
              const ActionPath& inside = {});

    // The current app's .desktop path; empty when none is chosen yet.
    void setPath(const QString& path);
    const QString& path() const { return path_; }

    AppMenu* menu() const { return menu_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showPath();

    DockController& controller_;
    int index_;
    ActionPath inside_;
    QString path_;
    QLabel* icon_;
    QLabel* name_;
    QPushButton* choose_;
    AppMenu* menu_;
};

} // namespace velloq
