#pragma once

#include "system/Applications.h"

#include <QList>
#include <QMenu>
#include <QString>

#include <functional>

namespace velloq {

class DockController;

// The name and icon to show for the app at `path`, read from its desktop entry (the file
// name less ".desktop" and no icon when it cannot be read).
AppEntry describeApp(const QString& path);

// The app chooser: the running apps ("Open Now"), the installed ones ("All Apps") and
// "Other…", an open panel. The lists load off the main thread: the menu opens at once and
// fills in when they arrive.
class AppMenu : public QMenu {
    Q_OBJECT

public:
    // `choose` gets the chosen app's .desktop path; `other` runs the open panel.
    AppMenu(DockController& controller, std::function<void(const QString&)> choose,
            std::function<void()> other, QWidget* parent = nullptr);

    // Starts the scans, so that the lists are usually there when the menu opens.
    void preload();

private:
    void fill();
    void addSection(const QString& title, const QList<AppEntry>& apps, bool loaded);

    DockController& controller_;
    std::function<void(const QString&)> choose_;
    std::function<void()> other_;
    // What the open menu shows, so that a result equal to it does not rebuild it.
    QList<AppEntry> shownRunning_;
    QList<AppEntry> shownInstalled_;
    bool shownRunningLoaded_ = false;
    bool shownInstalledLoaded_ = false;
};

} // namespace velloq
