#include "ui/SnippetsView.h"

#include "controller/DockController.h"
#include "ui/ConfigEdit.h"
#include "ui/SnippetRow.h"
#include "ui/TabOrder.h"
#include "ui/TextStyle.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace velloq {

SnippetsView::SnippetsView(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller) {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setSpacing(12);
    layout->addWidget(TextStyle::label(
        QStringLiteral("Saved text a button can type for you. Set a button’s action to “Paste "
                       "Snippet” to use one."),
        TextStyle::Size::callout, true, content, true));
    rowsLayout_ = new QVBoxLayout;
    rowsLayout_->setSpacing(12);
    layout->addLayout(rowsLayout_);

    add_ = new QPushButton(QStringLiteral("Add Snippet"), content);
    add_->setIcon(TextStyle::symbolIcon(QStringLiteral("plus"), add_));
    connect(add_, &QPushButton::clicked, this, [this] {
        editConfig(controller_, [](DockConfig& config) {
            config.snippets << Snippet::make(QStringLiteral("New snippet"), QString());
        });
    });
    layout->addWidget(add_, 0, Qt::AlignLeft);
    layout->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    connect(&controller_, &DockController::configChanged, this, &SnippetsView::sync);
    sync();
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
