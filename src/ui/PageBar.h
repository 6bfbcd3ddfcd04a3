#pragma once

#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class QPushButton;
class QToolButton;

namespace velloq {

class DockController;
class Dropdown;
class ShareActions;

// Above the dock preview: which page is being edited (also the page the dock shows), and
// adding, renaming and deleting pages. Home can be neither renamed nor deleted. The "⋯" menu
// exports the page shown (home too) and imports a page or a setup.
class PageBar : public QWidget {
    Q_OBJECT

public:
    explicit PageBar(DockController& controller, QWidget* parent = nullptr);

    Dropdown* pages() const { return pages_; }
    // The name a new page gets: "Page 2", "Page 3", … (home being the first), one not in use.
    QString nextPageName() const;

    // The open rename and delete dialogs, for tests and screenshots; null when closed.
    QInputDialog* renameDialog() const { return renameDialog_; }
    QMessageBox* deleteDialog() const { return deleteDialog_; }
    // The menu button with "Export Page…" and "Import…", and what they run.
    QToolButton* more() const { return more_; }
    ShareActions* sharing() const { return sharing_; }

private:
    void sync();
    void askToRename();
    void askToDelete();

    DockController& controller_;
    Dropdown* pages_;
    QPushButton* rename_;
    QPushButton* delete_;
    QToolButton* more_;
    ShareActions* sharing_;
    QPointer<QInputDialog> renameDialog_;
    QPointer<QMessageBox> deleteDialog_;
};

} // namespace velloq
