#include "ui/ShareActions.h"

#include "controller/DockController.h"
#include "share/Sentences.h"
#include "share/SetupSharing.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace velloq {

namespace {

const QString kFilter = QStringLiteral("Velloq files (*.velloq)");

using Sentences::quoted;

} // namespace

ShareActions::ShareActions(DockController& controller, QWidget* parent)
    : QObject(parent)
    , controller_(controller) {
}

QWidget* ShareActions::parentWidget() const {
    return qobject_cast<QWidget*>(parent());
}

void ShareActions::exportPage(const QUuid& page) {
    exportTo(page);
}

void ShareActions::exportAll() {
    exportTo(std::nullopt);
}

void ShareActions::exportTo(const std::optional<QUuid>& page) {
    // The panel runs its own event loop: not inside the click that asked for it.
    QTimer::singleShot(0, this, [this, page] {
        const std::optional<QString> path = controller_.runPanel(
            {page ? QStringLiteral("Export Page") : QStringLiteral("Export Setup"),
             QStringLiteral("Export"), kFilter, QString(), true,
             SetupExport::suggestedFileName(controller_.config(), page)});
        if (!path) {
            Q_EMIT finished();
            return;
        }
        SetupSharing::exportTo(controller_, this, *path, page, [this](SetupExport::Result result) {
            if (!result.ok) {
                tell(QStringLiteral("Could not export"), result.error);
            } else if (!result.leftOut.isEmpty()) {
                tell(QStringLiteral("Exported without some images"),
                     QStringLiteral("These images could not be read, so their buttons show "
                                    "their automatic faces in the file: %1.")
                         .arg(result.leftOut.join(QStringLiteral(", "))));
            }
            Q_EMIT finished();
        });
    });
}

void ShareActions::chooseFileToImport() {
    QTimer::singleShot(0, this, [this] {
        const std::optional<QString> path =
            controller_.runPanel({QStringLiteral("Import a Page or a Setup"),
                                  QStringLiteral("Import"), kFilter, QDir::homePath()});
        if (path)
            importFile(*path, false);
        else
            Q_EMIT finished();
    });
}

void ShareActions::importFile(const QString& path, bool askFirst) {
    const QString name = QFileInfo(path).fileName();
    closeProgress();
    progress_ = new QProgressDialog(QStringLiteral("Reading %1…").arg(quoted(name)),
                                    QStringLiteral("Cancel"), 0, 100, parentWidget());
    progress_->setWindowTitle(QStringLiteral("Import"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setAutoReset(false);
    progress_->setAutoClose(false);
    progress_->setMinimumDuration(kProgressDelayMs); // a quick read shows nothing
    progress_->setValue(0);
    const auto cancelled = SetupSharing::read(
        controller_, this, path,
        [this](double share) {
            if (progress_)
                progress_->setValue(int(share * 100));
        },
        [this, name, askFirst](SetupSharing::ReadResult read) {
            const bool stopped = progress_ && progress_->wasCanceled();
            closeProgress();
            if (stopped) {
                Q_EMIT finished();
                return;
            }
            if (!read.checked) {
                tell(QStringLiteral("Could not import %1").arg(quoted(name)), read.error);
                Q_EMIT finished();
                return;
            }
            auto checked = std::make_shared<SetupImport::Checked>(std::move(*read.checked));
            const auto apply = [this, checked, name] {
                SetupSharing::apply(
                    controller_, this, std::move(*checked),
                    [this, name](SetupSharing::Applied applied) {
                        if (!applied.ok) {
                            tell(QStringLiteral("Could not import %1").arg(quoted(name)),
                                 applied.error);
                        } else if (!applied.page.isNull()) {
                            controller_.setTab(MenuTab::buttons);
                            controller_.setCurrentPage(applied.page);
                        }
                        Q_EMIT finished();
                    });
            };
            if (checked->contents.kind == SetupFile::Contents::Kind::setup) {
                ask(QStringLiteral("Replace your whole setup?"),
                    QStringLiteral("Every button, page, snippet and setting is replaced by "
                                   "those in %1. Your current setup is kept as a file beside "
                                   "config.json, and Undo (Ctrl+Z) brings it back.")
                        .arg(quoted(name)),
                    QStringLiteral("Replace Setup"), true, apply);
            } else if (askFirst) {
                ask(QStringLiteral("Add the page %1?").arg(quoted(checked->contents.page.name)),
                    QStringLiteral("It comes from %1 and is added beside your pages.")
                        .arg(quoted(name)),
                    QStringLiteral("Add Page"), false, apply);
            } else {
                apply();
            }
        });
    connect(progress_, &QProgressDialog::canceled, this, [cancelled] { cancelled->store(true); });
}

void ShareActions::closeProgress() {
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
}

void ShareActions::tell(const QString& title, const QString& sentence) {
    if (dialog_)
        dialog_->close();
    dialog_ = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::Ok, parentWidget());
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->setInformativeText(sentence);
    dialog_->open();
}

void ShareActions::ask(const QString& question, const QString& detail, const QString& confirm,
                       bool destructive, const std::function<void()>& confirmed) {
    if (dialog_)
        dialog_->close();
    dialog_ = new QMessageBox(QMessageBox::Question, question, question, QMessageBox::Cancel,
                              parentWidget());
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->setInformativeText(detail);
    QPushButton* yes = dialog_->addButton(confirm, destructive ? QMessageBox::DestructiveRole
                                                               : QMessageBox::AcceptRole);
    dialog_->setDefaultButton(QMessageBox::Cancel);
    connect(dialog_, &QMessageBox::finished, this, [this, yes, confirmed] {
        if (dialog_ && dialog_->clickedButton() == yes)
            confirmed();
        else
            Q_EMIT finished();
    });
    dialog_->open();
}

} // namespace velloq
