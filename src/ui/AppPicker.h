#pragma once

#include "config/ActionModel.h"
#include "system/Applications.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;

namespace velloq {

class DockController;

// The app of an "Open App" button: its icon and name, and a "Choose App" menu of the running
// apps ("Open Now"), the installed ones ("All Apps") and "Other…", an open panel. The lists
// load off the main thread: the menu opens at once and fills in when they arrive.
class AppPicker : public QWidget {
    Q_OBJECT

public:
    // The app of the action at `inside` the action of key `index`.
    AppPicker(DockController& controller, int index, const QString& path, QWidget* parent = nullptr,
              const ActionPath& inside = {});

    // The current app's .desktop path; empty when none is chosen yet.
    void setPath(const QString& path);
    const QString& path() const { return path_; }

    QMenu* menu() const { return menu_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showPath();
    void fillMenu();
    void addSection(const QString& title, const QList<AppEntry>& apps, bool loaded);

    DockController& controller_;
    int index_;
    ActionPath inside_;
    QString path_;
    QLabel* icon_;
    QLabel* name_;
    QPushButton* choose_;
    QMenu* menu_;
    // What the open menu shows, so that a result equal to it does not rebuild it.
    QList<AppEntry> shownRunning_;
    QList<AppEntry> shownInstalled_;
    bool shownRunningLoaded_ = false;
    bool shownInstalledLoaded_ = false;
};

} // namespace velloq
