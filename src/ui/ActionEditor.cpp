#include "ui/ActionEditor.h"

#include "controller/DockController.h"
#include "system/AppLauncher.h"
#include "ui/AppPicker.h"
#include "ui/Dropdown.h"
#include "ui/KeyRecorder.h"
#include "ui/LabeledRow.h"
#include "ui/SequenceEditor.h"
#include "ui/TabOrder.h"
#include "ui/TextStyle.h"
#include "ui/ToggleEditor.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velloq {

namespace {

constexpr int kNewWaitMs = 1000;
constexpr int kWaitStepMs = 100;

QList<DropdownOption> functionOptions() {
    QList<DropdownOption> options;
    for (const ButtonFunction function : ButtonFunction::allCases())
        options << DropdownOption::of(function.title(), function.rawValue(), function.section());
    return options;
}

} // namespace

QList<DropdownOption> ActionEditor::pageOptions(const DockConfig& config) {
    QList<DropdownOption> options{DropdownOption::of(QStringLiteral("Home"), QUuid())};
    for (const Page& page : config.pages)
        options << DropdownOption::of(page.name, page.id);
    return options;
}

ButtonAction ActionEditor::defaultAction(ButtonAction::Kind kind, const DockConfig& config,
                                         const ButtonAction& current) {
    switch (kind) {
    case ButtonAction::Kind::nothing:
        return ButtonAction::nothing();
    case ButtonAction::Kind::app:
        return ButtonAction::app(QString());
    case ButtonAction::Kind::function:
        return ButtonAction::function(ButtonFunction::copy);
    case ButtonAction::Kind::snippet:
        return ButtonAction::snippet(config.snippets.isEmpty() ? QUuid::createUuid()
                                                               : config.snippets.first().id);
    case ButtonAction::Kind::keys:
        return ButtonAction::keys(KeyCombo{});
    case ButtonAction::Kind::shortcut:
        return ButtonAction::shortcut(QString());
    case ButtonAction::Kind::url:
        return ButtonAction::url(QString());
    case ButtonAction::Kind::page:
        return ButtonAction::page(QUuid()); // home
    case ButtonAction::Kind::sequence:
        // What the button did stays, as the first step.
        return ButtonAction::sequence({ButtonAction::Kind::stepCases().contains(current.kind())
                                           ? current
                                           : ButtonAction::nothing()});
    case ButtonAction::Kind::toggle:
        return ButtonAction::toggle(current, ButtonAction::nothing());
    case ButtonAction::Kind::wait:
        return ButtonAction::wait(kNewWaitMs);
    }
    return ButtonAction::nothing();
}

ActionEditor::ActionEditor(DockController& controller, int index, const ActionPath& inside,
                           const QString& caption, const QList<ButtonAction::Kind>& kinds,
                           QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , index_(index)
    , inside_(inside)
    , kind_(new Dropdown(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    QList<DropdownOption> options;
    for (const ButtonAction::Kind kind : kinds)
        options << DropdownOption::of(kind.title(), kind.rawValue());
    kind_->setOptions(options);
    kind_->setOnSelect([this](const QVariant& value) {
        const std::optional<ButtonAction::Kind> kind =
            ButtonAction::Kind::fromRawValue(value.toString());
        const ButtonAction current = action();
        if (!kind || *kind == current.kind())
            return;
        store(defaultAction(*kind, controller_.config(), current));
    });
    auto* row = new QWidget(this);
    kindRow_ = new QHBoxLayout(row);
    kindRow_->setContentsMargins(0, 0, 0, 0);
    kindRow_->addWidget(new LabeledRow(caption, kind_, row), 1);
    layout->addWidget(row);

    connect(&controller_, &DockController::configChanged, this, &ActionEditor::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &ActionEditor::sync);
    connect(&controller_, &DockController::shortcutNamesChanged, this, [this] {
        fillShortcutMenu();
        syncWarning();
    });
    sync();
}

void ActionEditor::addToKindRow(QWidget* widget) {
    widget->setParent(kindRow_->parentWidget());
    kindRow_->addWidget(widget, 0, Qt::AlignVCenter);
}

ButtonAction ActionEditor::action() const {
    const QList<ButtonAction>& keys = controller_.currentKeys();
    if (index_ < 0 || index_ >= keys.size())
        return ButtonAction::nothing();
    return keys.at(index_).at(inside_).value_or(ButtonAction::nothing());
}

void ActionEditor::store(const ButtonAction& action) {
    controller_.setInnerAction(action, index_, inside_);
}

void ActionEditor::sync() {
    const ButtonAction current = action();
    const DockConfig& config = controller_.config();
    kind_->setSelection(current.kind().rawValue());

    const Shape shape{current.kind(), !config.snippets.isEmpty()};
    if (shape != shape_)
        buildDetails(shape);

    if (appPicker_)
        appPicker_->setPath(current.appPath().value_or(QString()));
    if (function_)
        function_->setSelection(current.buttonFunction()->rawValue());
    if (snippet_) {
        QList<DropdownOption> options;
        for (const Snippet& snippet : config.snippets)
            options << DropdownOption::of(snippet.name, snippet.id);
        snippet_->setOptions(options);
        snippet_->setSelection(*current.snippetID());
    }
    if (page_) {
        page_->setOptions(pageOptions(config));
        page_->setSelection(*current.pageID());
    }
    if (recorder_)
        recorder_->setCombo(*current.keyCombo());
    if (text_) {
        const QString text = current.shortcutName().value_or(current.urlText().value_or(QString()));
        if (text_->text() != text)
            text_->setText(text);
    }
    if (waitMs_ && waitMs_->value() != current.waitMs()) {
        const QSignalBlocker quiet(waitMs_);
        waitMs_->setValue(*current.waitMs());
    }
    syncWarning();
}

void ActionEditor::buildDetails(const Shape& shape) {
    shape_ = shape;
    if (details_) {
        // It may hold the control whose signal led here: hide it now, delete it later.
        details_->hide();
        details_->deleteLater();
    }
    appPicker_ = nullptr;
    function_ = nullptr;
    snippet_ = nullptr;
    page_ = nullptr;
    recorder_ = nullptr;
    text_ = nullptr;
    shortcutMenu_ = nullptr;
    waitMs_ = nullptr;
    warning_ = nullptr;
    details_ = new QWidget(this);
    auto* layout = new QVBoxLayout(details_);
    layout->setContentsMargins(0, 0, 0, 0);
    auto callout = [this](const QString& text) {
        return TextStyle::label(text, TextStyle::Size::callout, true, details_, true);
    };

    const ButtonAction current = action();
    switch (shape.kind) {
    case ButtonAction::Kind::nothing:
        // Inside a toggle or a sequence, doing nothing needs no words.
        if (inside_.isEmpty())
            layout->addWidget(callout(QStringLiteral("Pick what this button should do.")));
        break;
    case ButtonAction::Kind::app:
        appPicker_ = new AppPicker(controller_, index_, *current.appPath(), details_, inside_);
        layout->addWidget(appPicker_);
        break;
    case ButtonAction::Kind::function:
        function_ = new Dropdown(details_);
        function_->setOptions(functionOptions());
        function_->setOnSelect([this](const QVariant& value) {
            if (const std::optional<ButtonFunction> function =
                    ButtonFunction::fromRawValue(value.toString()))
                store(ButtonAction::function(*function));
        });
        layout->addWidget(new LabeledRow(QStringLiteral("Function"), function_, details_));
        break;
    case ButtonAction::Kind::snippet:
        if (!shape.hasSnippets) {
            layout->addWidget(callout(QStringLiteral("Add a snippet in the Snippets tab first.")));
            break;
        }
        snippet_ = new Dropdown(details_);
        snippet_->setOnSelect(
            [this](const QVariant& value) { store(ButtonAction::snippet(value.toUuid())); });
        layout->addWidget(new LabeledRow(QStringLiteral("Snippet"), snippet_, details_));
        break;
    case ButtonAction::Kind::keys:
        recorder_ = new KeyRecorder(controller_, index_, *current.keyCombo(), details_, inside_);
        layout->addWidget(recorder_);
        break;
    case ButtonAction::Kind::shortcut: {
        auto* row = new QWidget(details_);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->addWidget(
            buildTextField(QStringLiteral("Name of a script in Velloq’s Shortcuts folder")), 1);
        auto* choose = new QPushButton(QStringLiteral("Choose"), row);
        choose->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        shortcutMenu_ = new QMenu(choose);
        connect(choose, &QPushButton::clicked, this, [this, choose] {
            fillShortcutMenu();
            shortcutMenu_->popup(choose->mapToGlobal(QPoint(0, choose->height())));
        });
        rowLayout->addWidget(choose);
        layout->addWidget(row);
        layout->addWidget(buildWarning());

        auto* folderRow = new QWidget(details_);
        auto* folderLayout = new QHBoxLayout(folderRow);
        folderLayout->setContentsMargins(0, 0, 0, 0);
        QString folder = QDir::toNativeSeparators(controller_.shortcutsFolder());
        if (folder.startsWith(QDir::homePath() + u'/'))
            folder.replace(0, QDir::homePath().size(), QStringLiteral("~"));
        auto* where = callout(QStringLiteral("Scripts are the executable files in ") + folder);
        where->setTextInteractionFlags(Qt::TextSelectableByMouse);
        folderLayout->addWidget(where, 1);
        auto* open = new QPushButton(QStringLiteral("Open Folder"), folderRow);
        open->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(open, &QPushButton::clicked, this, [this] { controller_.openShortcutsFolder(); });
        folderLayout->addWidget(open);
        layout->addWidget(folderRow);
        controller_.loadShortcutNames(); // scripts added since are no cause for a warning
        break;
    }
    case ButtonAction::Kind::url:
        layout->addWidget(buildTextField(QStringLiteral("example.com")));
        layout->addWidget(buildWarning());
        break;
    case ButtonAction::Kind::page:
        page_ = new Dropdown(details_);
        page_->setOnSelect(
            [this](const QVariant& value) { store(ButtonAction::page(value.toUuid())); });
        layout->addWidget(new LabeledRow(QStringLiteral("Page"), page_, details_));
        break;
    case ButtonAction::Kind::sequence:
        layout->addWidget(new SequenceEditor(controller_, index_, inside_, details_));
        break;
    case ButtonAction::Kind::toggle:
        layout->addWidget(new ToggleEditor(controller_, index_, inside_, details_));
        break;
    case ButtonAction::Kind::wait:
        waitMs_ = new QSpinBox(details_);
        waitMs_->setRange(0, ButtonAction::kMaxWaitMs);
        waitMs_->setSingleStep(kWaitStepMs);
        waitMs_->setSuffix(QStringLiteral(" ms"));
        waitMs_->setValue(current.waitMs().value_or(kNewWaitMs));
        waitMs_->setAccessibleName(QStringLiteral("Milliseconds"));
        connect(waitMs_, &QSpinBox::valueChanged, this,
                [this](int ms) { store(ButtonAction::wait(ms)); });
        layout->addWidget(new LabeledRow(QStringLiteral("Milliseconds"), waitMs_, details_));
        break;
    }
    static_cast<QVBoxLayout*>(this->layout())->addWidget(details_);
    details_->setVisible(layout->count() > 0);
    placeInTabOrder(kind_, details_);
}

QWidget* ActionEditor::buildTextField(const QString& placeholder) {
    text_ = new QLineEdit(details_);
    text_->setPlaceholderText(placeholder);
    text_->setClearButtonEnabled(false);
    // Only the user's edits: setting the text from the configuration must not write it back.
    connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) {
        store(action().kind() == ButtonAction::Kind::shortcut ? ButtonAction::shortcut(text)
                                                              : ButtonAction::url(text));
    });
    return text_;
}

QLabel* ActionEditor::buildWarning() {
    warning_ = TextStyle::label(QString(), TextStyle::Size::callout, false, details_, true);
    warning_->setObjectName(QStringLiteral("warning"));
    TextStyle::setColor(warning_, TextStyle::warningColor(this));
    warning_->hide();
    return warning_;
}

void ActionEditor::syncWarning() {
    if (!warning_)
        return;
    const ButtonAction current = action();
    QString text;
    if (const std::optional<QString> name = current.shortcutName()) {
        if (!name->trimmed().isEmpty() && !controller_.shortcutNames().contains(name->trimmed()))
            text = QStringLiteral("There is no executable script named “") + name->trimmed() +
                   QStringLiteral("” in the folder.");
    } else if (const std::optional<QString> address = current.urlText()) {
        if (!address->trimmed().isEmpty() && !webAddress(*address))
            text = QStringLiteral("“") + address->trimmed() +
                   QStringLiteral("” is not a web address.");
    }
    warning_->setText(text);
    warning_->setVisible(!text.isEmpty());
}

void ActionEditor::fillShortcutMenu() {
    if (!shortcutMenu_)
        return;
    shortcutMenu_->clear();
    const QStringList names = controller_.shortcutNames();
    for (const QString& name : names) {
        shortcutMenu_->addAction(TextStyle::literal(name), this,
                                 [this, name] { store(ButtonAction::shortcut(name)); });
    }
    if (names.isEmpty())
        shortcutMenu_->addAction(QStringLiteral("No shortcuts found"))->setEnabled(false);
    shortcutMenu_->addSeparator();
    shortcutMenu_->addAction(QStringLiteral("Refresh List"), this,
                             [this] { controller_.loadShortcutNames(); });
}

} // namespace velloq
