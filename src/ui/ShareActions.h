#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class QWidget;

namespace velloq {

class DockController;

// The window's exports and imports of .velloq files: the save and open panels, a progress
// dialog while a file is read (once the reading takes longer than a moment), the question
// before an import and a message when something fails. Its dialogs are window-modal to the
// parent's window; nothing changes before the user has agreed.
class ShareActions : public QObject {
    Q_OBJECT

public:
    static constexpr int kProgressDelayMs = 400;

    ShareActions(DockController& controller, QWidget* parent);

    // Asks where to write, then writes the page (nil: home) or the whole setup.
    void exportPage(const QUuid& page);
    void exportAll();
    // Asks which file to import, then imports it.
    void chooseFileToImport();
    // Reads and checks `path`, then imports it: a page is added (after a question when
    // `askFirst`, as for a file opened from the file manager); a setup replaces the current
    // one only after a question that says so.
    void importFile(const QString& path, bool askFirst);

    // The question or message showing now, and the progress dialog; null when none.
    QMessageBox* dialog() const { return dialog_; }
    QProgressDialog* progress() const { return progress_; }

Q_SIGNALS:
    // A flow ended: done, declined, cancelled or failed.
    void finished();

private:
    void exportTo(const std::optional<QUuid>& page);
    QWidget* parentWidget() const;
    void tell(const QString& title, const QString& sentence);
    void ask(const QString& question, const QString& detail, const QString& confirm,
             bool destructive, const std::function<void()>& confirmed);
    void closeProgress();

    DockController& controller_;
    QPointer<QMessageBox> dialog_;
    QPointer<QProgressDialog> progress_;
};

} // namespace velloq
