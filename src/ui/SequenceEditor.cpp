#include "ui/SequenceEditor.h"

#include "controller/DockController.h"
#include "ui/ActionEditor.h"
#include "ui/Dropdown.h"
#include "ui/TabOrder.h"
#include "ui/TextStyle.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace velloq {

SequenceEditor::SequenceEditor(DockController& controller, int index, const ActionPath& inside,
                               QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , index_(index)
    , inside_(inside)
    , add_(new QPushButton(QStringLiteral("Add Step"), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(
        TextStyle::label(QStringLiteral("Runs the steps in order, one after the other."),
                         TextStyle::Size::callout, true, this, true));
    rowsLayout_ = new QVBoxLayout();
    rowsLayout_->setSpacing(6);
    layout->addLayout(rowsLayout_);
    add_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(add_, &QPushButton::clicked, this, [this] {
        QList<ButtonAction> list = steps();
        list.append(ButtonAction::nothing());
        store(list);
        if (!rows_.isEmpty())
            rows_.last().editor->kindMenu()->setFocus(Qt::TabFocusReason);
    });
    layout->addWidget(add_, 0, Qt::AlignLeft);

    connect(&controller_, &DockController::configChanged, this, &SequenceEditor::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &SequenceEditor::sync);
    sync();
}

QList<ButtonAction> SequenceEditor::steps() const {
    const QList<ButtonAction>& keys = controller_.currentKeys();
    if (index_ < 0 || index_ >= keys.size())
        return {};
    const std::optional<ButtonAction> sequence = keys.at(index_).at(inside_);
    return sequence ? sequence->sequenceSteps().value_or(QList<ButtonAction>())
                    : QList<ButtonAction>();
}

void SequenceEditor::store(const QList<ButtonAction>& list) {
    controller_.setInnerAction(ButtonAction::sequence(list), index_, inside_);
}

void SequenceEditor::addRow() {
    const int at = int(rows_.size());
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(8, 6, 8, 6);
    auto* editor = new ActionEditor(controller_, index_, inside_ + ActionPath{at},
                                    QStringLiteral("Step %1").arg(at + 1),
                                    ButtonAction::Kind::stepCases(), frame);
    frameLayout->addWidget(editor);

    const auto tool = [&](const QString& symbol, const QString& name) {
        auto* button = new QToolButton(frame);
        button->setIcon(TextStyle::symbolIcon(symbol, button));
        button->setToolTip(name);
        button->setAccessibleName(name);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::StrongFocus);
        editor->addToKindRow(button);
        return button;
    };
    Row row{frame, editor,
            tool(QStringLiteral("chevron.up"), QStringLiteral("Move Step %1 Up").arg(at + 1)),
            tool(QStringLiteral("chevron.down"), QStringLiteral("Move Step %1 Down").arg(at + 1)),
            tool(QStringLiteral("xmark"), QStringLiteral("Remove Step %1").arg(at + 1))};
    connect(row.up, &QToolButton::clicked, this, [this, at] { move(at, at - 1, &Row::up); });
    connect(row.down, &QToolButton::clicked, this, [this, at] { move(at, at + 1, &Row::down); });
    connect(row.remove, &QToolButton::clicked, this, [this, at] {
        QList<ButtonAction> list = steps();
        if (at >= list.size() || list.size() < 2)
            return;
        list.removeAt(at);
        store(list);
        // The focus goes to the step that took its place, or the one before.
        if (!rows_.isEmpty())
            rows_.at(std::min<qsizetype>(at, rows_.size() - 1))
                .editor->kindMenu()
                ->setFocus(Qt::TabFocusReason);
    });
    rowsLayout_->addWidget(frame);
    frame->show();
    rows_.append(row);
}

void SequenceEditor::move(int from, int to, QToolButton* Row::*focus) {
    QList<ButtonAction> list = steps();
    if (from < 0 || to < 0 || from >= list.size() || to >= list.size())
        return;
    list.move(from, to);
    store(list);
    // The step moved: so does the focus, unless the button it would go to is disabled.
    QToolButton* next = rows_.at(to).*focus;
    QWidget* target =
        next->isEnabled() ? static_cast<QWidget*>(next) : rows_.at(to).editor->kindMenu();
    target->setFocus(Qt::TabFocusReason);
}

void SequenceEditor::sync() {
    const qsizetype count = steps().size();
    while (rows_.size() > count) {
        // It may hold the button whose click led here: hide it now, delete it later.
        Row row = rows_.takeLast();
        row.widget->hide();
        row.widget->deleteLater();
    }
    const bool grew = rows_.size() < count;
    while (rows_.size() < count)
        addRow();
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        rows_[i].up->setEnabled(i > 0);
        rows_[i].down->setEnabled(i + 1 < rows_.size());
        rows_[i].remove->setEnabled(rows_.size() > 1);
    }
    add_->setEnabled(count < ButtonAction::kMaxSteps);
    if (grew)
        placeInTabOrder(nullptr, this);
}

} // namespace velloq
