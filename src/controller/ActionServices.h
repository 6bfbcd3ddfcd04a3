#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velloq {

class ForceQuitMenu;
class Notifier;
class ProcessLauncher;
class UrlOpener;

// One open (or save) panel: what it asks for and where it starts.
struct OpenPanelRequest {
    QString message;       // the window title, e.g. "Choose an Image"
    QString prompt;        // the accept button, e.g. "Choose"
    QString nameFilter;    // e.g. "Applications (*.desktop)"
    QString startFolder;   // empty: where the user last chose a file (at first, Pictures)
    bool save = false;     // asks for a file to write instead of an existing one
    QString fileName = {}; // a save panel's suggested name
};

// Runs a modal panel for one existing file (or one to write); none when the user cancels.
using OpenPanel = std::function<std::optional<QString>(const OpenPanelRequest&)>;

// The services of the actions and editing operations, handed to the controller.
struct ActionServices {
    ProcessLauncher* launcher = nullptr; // detached launching when absent
    UrlOpener* urlOpener = nullptr;      // the desktop's URL handler when absent
    Notifier* notifier = nullptr;        // desktop notifications when absent
    ForceQuitMenu* forceQuitMenu = nullptr;
    OpenPanel openPanel;         // a QFileDialog when empty
    QStringList applicationDirs; // DesktopEntries::applicationDirs() when empty
    QString executable;          // what autostart starts; this program when empty
};

// The QFileDialog behind an OpenPanel.
std::optional<QString> runFileDialog(const OpenPanelRequest& request);

} // namespace velloq
