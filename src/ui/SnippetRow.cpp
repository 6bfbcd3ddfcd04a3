#include "ui/SnippetRow.h"

#include "controller/DockController.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace velloq {

namespace {
constexpr int kTextHeight = 64;
} // namespace

SnippetRow::SnippetRow(DockController& controller, const QUuid& id, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , id_(id)
    , name_(new QLineEdit(this))
    , text_(new QPlainTextEdit(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* top = new QHBoxLayout;
    name_->setPlaceholderText(QStringLiteral("Name"));
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& name) {
        write([&name](Snippet& snippet) { snippet.name = name; });
    });
    top->addWidget(name_, 1);
    auto* remove = new QToolButton(this);
    remove->setIcon(TextStyle::symbolIcon(QStringLiteral("trash"), remove));
    remove->setToolTip(QStringLiteral("Delete snippet"));
    remove->setAccessibleName(QStringLiteral("Delete snippet"));
    connect(remove, &QToolButton::clicked, this, &SnippetRow::askToDelete);
    top->addWidget(remove);
    layout->addLayout(top);

    text_->setFixedHeight(kTextHeight);
    text_->setTabChangesFocus(true);
    text_->setObjectName(QStringLiteral("snippetText"));
    QColor outline = TextStyle::secondaryColor(this);
    outline.setAlphaF(0.3F);
    text_->setStyleSheet(QStringLiteral("#snippetText { background: palette(base); border: 1px "
                                        "solid %1; border-radius: 6px; }")
                             .arg(outline.name(QColor::HexArgb)));
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = text_->toPlainText();
        write([&text](Snippet& snippet) { snippet.text = text; });
    });
    layout->addWidget(text_);

    connect(&controller_, &DockController::configChanged, this, &SnippetRow::sync);
    sync();
}

const Snippet* SnippetRow::snippet() const {
    for (const Snippet& snippet : controller_.config().snippets) {
        if (snippet.id == id_)
            return &snippet;
    }
    return nullptr;
}

template <typename Change> void SnippetRow::write(Change&& change) {
    DockConfig next = controller_.config();
    for (Snippet& snippet : next.snippets) {
        if (snippet.id == id_) {
            change(snippet);
            controller_.setConfig(next);
            return;
        }
    }
}

void SnippetRow::askToDelete() {
    const Snippet* current = snippet();
    if (!current || deleteDialog_)
        return;
    const int pasting = controller_.keysPasting(id_);
    if (pasting == 0) {
        controller_.deleteSnippet(id_);
        return;
    }
    const QString question = QStringLiteral("Delete “%1”?").arg(current->name);
    deleteDialog_ =
        new QMessageBox(QMessageBox::Warning, question, question, QMessageBox::Cancel, this);
    deleteDialog_->setAttribute(Qt::WA_DeleteOnClose);
    deleteDialog_->setInformativeText(
        pasting == 1 ? QStringLiteral("1 button pastes it; it will do nothing afterwards.")
                     : QString::number(pasting) +
                           QStringLiteral(" buttons paste it; they will do nothing afterwards."));
    QPushButton* confirm =
        deleteDialog_->addButton(QStringLiteral("Delete Snippet"), QMessageBox::DestructiveRole);
    const QUuid id = id_;
    connect(confirm, &QPushButton::clicked, this, [this, id] { controller_.deleteSnippet(id); });
    deleteDialog_->open();
}

void SnippetRow::sync() {
    const Snippet* current = snippet();
    const QString name = current ? current->name : QString();
    const QString text = current ? current->text : QString();
    // Only a change from elsewhere resets a field, so typing keeps its cursor.
    if (name_->text() != name)
        name_->setText(name);
    if (text_->toPlainText() != text) {
        const QSignalBlocker blocker(text_);
        text_->setPlainText(text);
    }
}

} // namespace velloq
