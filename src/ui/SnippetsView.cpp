#include "ui/SnippetsView.h"

#include "controller/DockController.h"
#include "ui/ConfigEdit.h"
#include "ui/SnippetRow.h"
#include "ui/TabOrder.h"
#include "ui/TextStyle.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace velloq {

SnippetsView::SnippetsView(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller) {
    // No scroll area of its own: the list grows inside the tab's one scroll area.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(TextStyle::label(
        QStringLiteral("Saved text a button can type for you. Set a button’s action to “Paste "
                       "Snippet” to use one."),
        TextStyle::Size::callout, true, this, true));
    rowsLayout_ = new QVBoxLayout;
    rowsLayout_->setSpacing(12);
    layout->addLayout(rowsLayout_);

    add_ = new QPushButton(QStringLiteral("Add Snippet"), this);
    add_->setIcon(TextStyle::symbolIcon(QStringLiteral("plus"), add_));
    connect(add_, &QPushButton::clicked, this, [this] {
        const Snippet added = Snippet::make(QStringLiteral("New snippet"), QString());
        editConfig(controller_, [&added](DockConfig& config) { config.snippets << added; });
        showForTyping(added.id);
    });
    layout->addWidget(add_, 0, Qt::AlignLeft);
    layout->addStretch(1);

    connect(&controller_, &DockController::configChanged, this, &SnippetsView::sync);
    sync();
}

void SnippetsView::showForTyping(const QUuid& id) {
    SnippetRow* row = rows_.value(id);
    if (!row)
        return;
    row->nameField()->setFocus(Qt::OtherFocusReason);
    row->nameField()->selectAll();
    // Once the row has its place: the tab's scroll area brings it into view.
    QTimer::singleShot(0, row, [this, row] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (QWidget* up = parentWidget(); up; up = up->parentWidget()) {
            if (auto* area = qobject_cast<QScrollArea*>(up)) {
                area->ensureWidgetVisible(row);
                return;
            }
        }
    });
}

void SnippetsView::sync() {
    QList<QUuid> order;
    QHash<QUuid, SnippetRow*> kept;
    for (const Snippet& snippet : controller_.config().snippets) {
        if (kept.contains(snippet.id))
            continue; // a duplicated id shows once
        SnippetRow* row = rows_.take(snippet.id);
        kept.insert(snippet.id, row ? row : new SnippetRow(controller_, snippet.id));
        order << snippet.id;
    }
    for (SnippetRow* gone : std::as_const(rows_)) {
        // Its delete button may be what led here: hide it now, delete it later.
        rowsLayout_->removeWidget(gone);
        gone->hide();
        gone->deleteLater();
    }
    rows_ = kept;

    // The rows in the snippets' order; a row that stays keeps its widgets, so typing in it
    // keeps the cursor and focus.
    for (int position = 0; position < order.size(); ++position) {
        SnippetRow* row = rows_.value(order.at(position));
        if (rowsLayout_->indexOf(row) == position)
            continue;
        rowsLayout_->removeWidget(row);
        rowsLayout_->insertWidget(position, row);
        row->show();
    }
    QWidget* previous = nullptr;
    for (const QUuid& id : std::as_const(order))
        previous = placeInTabOrder(previous, rows_.value(id));
    if (previous)
        QWidget::setTabOrder(previous, add_);
}

} // namespace velloq
