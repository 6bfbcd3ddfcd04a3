#include "ui/PageBar.h"

#include "controller/DockController.h"
#include "ui/Dropdown.h"
#include "ui/KeyEditor.h"
#include "ui/ShareActions.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace velloq {

PageBar::PageBar(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , pages_(new Dropdown(this))
    , rename_(new QPushButton(QStringLiteral("Rename…"), this))
    , delete_(new QPushButton(QStringLiteral("Delete Page"), this))
    , more_(new QToolButton(this))
    , sharing_(new ShareActions(controller, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    pages_->setAccessibleDescription(QStringLiteral("Page"));
    pages_->setOnSelect(
        [this](const QVariant& value) { controller_.setCurrentPage(value.toUuid()); });
    layout->addWidget(pages_, 1);

    auto* add = new QPushButton(QStringLiteral("Add Page"), this);
    connect(add, &QPushButton::clicked, this, [this] { controller_.addPage(nextPageName()); });
    layout->addWidget(add);
    connect(rename_, &QPushButton::clicked, this, &PageBar::askToRename);
    layout->addWidget(rename_);
    connect(delete_, &QPushButton::clicked, this, &PageBar::askToDelete);
    layout->addWidget(delete_);

    // Sharing sits behind one button: the bar has no room for two more.
    auto* menu = new QMenu(more_);
    connect(menu->addAction(QStringLiteral("Export Page…")), &QAction::triggered, this,
            [this] { sharing_->exportPage(controller_.currentPage()); });
    connect(menu->addAction(QStringLiteral("Import…")), &QAction::triggered, sharing_,
            &ShareActions::chooseFileToImport);
    // A popup rather than the button's own menu, which would run a nested event loop.
    connect(more_, &QToolButton::clicked, this,
            [this, menu] { menu->popup(more_->mapToGlobal(QPoint(0, more_->height()))); });
    more_->setText(QStringLiteral("⋯"));
    more_->setToolTip(QStringLiteral("Export this page, or import a page or a setup"));
    more_->setAccessibleName(QStringLiteral("Export or import"));
    layout->addWidget(more_);

    connect(&controller_, &DockController::configChanged, this, &PageBar::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &PageBar::sync);
    sync();
}

QString PageBar::nextPageName() const {
    const QList<Page>& pages = controller_.config().pages;
    for (qsizetype number = pages.size() + 2;; ++number) {
        const QString name = QStringLiteral("Page ") + QString::number(number);
        if (std::none_of(pages.begin(), pages.end(),
                         [&name](const Page& page) { return page.name == name; }))
            return name;
    }
}

void PageBar::sync() {
    pages_->setOptions(KeyEditor::pageOptions(controller_.config()));
    pages_->setSelection(controller_.currentPage());
    const bool home = controller_.currentPage().isNull();
    // Hidden rather than disabled: home has neither, and the Tab order skips nothing shown.
    rename_->setVisible(!home);
    delete_->setVisible(!home);
}

void PageBar::askToRename() {
    const Page* page = controller_.config().page(controller_.currentPage());
    if (!page || renameDialog_)
        return;
    renameDialog_ = new QInputDialog(this);
    renameDialog_->setAttribute(Qt::WA_DeleteOnClose);
    renameDialog_->setWindowTitle(QStringLiteral("Rename Page"));
    renameDialog_->setLabelText(QStringLiteral("Name:"));
    renameDialog_->setTextValue(page->name);
    const QUuid id = page->id;
    connect(renameDialog_, &QInputDialog::textValueSelected, this, [this, id](const QString& name) {
        if (!name.trimmed().isEmpty())
            controller_.renamePage(id, name.trimmed());
    });
    renameDialog_->open();
}

void PageBar::askToDelete() {
    const Page* page = controller_.config().page(controller_.currentPage());
    if (!page || deleteDialog_)
        return;
    const QUuid id = page->id;
    const int opening = controller_.keysOpening(id);
    const QString buttons = opening == 1
                                ? QStringLiteral("1 button opens it")
                                : QString::number(opening) + QStringLiteral(" buttons open it");
    deleteDialog_ =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Delete “%1”?").arg(page->name),
                        QStringLiteral("Delete “%1”?").arg(page->name), QMessageBox::Cancel, this);
    deleteDialog_->setAttribute(Qt::WA_DeleteOnClose);
    deleteDialog_->setInformativeText(
        opening == 0 ? QStringLiteral("No button opens this page.")
                     : buttons + QStringLiteral("; it will do nothing afterwards."));
    QPushButton* confirm =
        deleteDialog_->addButton(QStringLiteral("Delete Page"), QMessageBox::DestructiveRole);
    connect(confirm, &QPushButton::clicked, this, [this, id] { controller_.deletePage(id); });
    deleteDialog_->open();
}

} // namespace velloq
