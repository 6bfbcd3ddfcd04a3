#pragma once

#include <QStringList>
#include <QUuid>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velloq {

class AppMenu;
class DockController;

// Below the page bar, on a page other than home: the apps in front of which the dock shows
// this page, each with its icon, name and a remove button, and "Add App" with the app chooser.
class PageAppsView : public QWidget {
    Q_OBJECT

public:
    explicit PageAppsView(DockController& controller, QWidget* parent = nullptr);

    AppMenu* menu() const { return menu_; }

private:
    void sync();
    void add(const QString& path);
    void remove(const QString& path);

    DockController& controller_;
    QVBoxLayout* rows_;
    QPushButton* add_;
    AppMenu* menu_;
    // What the rows show, so that an unrelated change does not rebuild them.
    QUuid shownPage_;
    QStringList shownApps_;
};

} // namespace velloq
