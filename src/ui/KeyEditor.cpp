#include "ui/KeyEditor.h"

#include "controller/DockController.h"
#include "system/AppLauncher.h"
#include "ui/AppPicker.h"
#include "ui/Dropdown.h"
#include "ui/KeyRecorder.h"
#include "ui/LabeledRow.h"
#include "ui/TabOrder.h"
#include "ui/TextStyle.h"

#include <QDir>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace velloq {

namespace {

constexpr int kScreenKeys = 6;

QList<DropdownOption> kindOptions() {
    QList<DropdownOption> options;
    for (const ButtonAction::Kind kind : ButtonAction::Kind::allCases())
        options << DropdownOption::of(kind.title(), kind.rawValue());
    return options;
}

QList<DropdownOption> functionOptions() {
    QList<DropdownOption> options;
    for (const ButtonFunction function : ButtonFunction::allCases())
        options << DropdownOption::of(function.title(), function.rawValue(), function.section());
    return options;
}

} // namespace

QList<DropdownOption> KeyEditor::pageOptions(const DockConfig& config) {
    QList<DropdownOption> options{DropdownOption::of(QStringLiteral("Home"), QUuid())};
    for (const Page& page : config.pages)
        options << DropdownOption::of(page.name, page.id);
    return options;
}

KeyEditor::KeyEditor(DockController& controller, int index, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , index_(index)
    , kind_(new Dropdown(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(TextStyle::label(title(index_), TextStyle::Size::headline, false, this));

    kind_->setOptions(kindOptions());
    kind_->setOnSelect([this](const QVariant& value) {
        const std::optional<ButtonAction::Kind> kind =
            ButtonAction::Kind::fromRawValue(value.toString());
        if (!kind || *kind == action().kind())
            return;
        controller_.setAction(defaultAction(*kind, controller_.config()), index_);
    });
    layout->addWidget(new LabeledRow(QStringLiteral("Action"), kind_, this));

    iconRow_ = new QWidget(this);
    auto* iconLayout = new QHBoxLayout(iconRow_);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    iconText_ = TextStyle::label(QString(), TextStyle::Size::callout, true, iconRow_);
    iconLayout->addWidget(iconText_);
    iconLayout->addStretch(1);
    useAutomatic_ = new QPushButton(QStringLiteral("Use Automatic"), iconRow_);
    connect(useAutomatic_, &QPushButton::clicked, this,
            [this] { controller_.clearCustomIcon(index_); });
    iconLayout->addWidget(useAutomatic_);
    chooseImage_ = new QPushButton(QStringLiteral("Choose Image…"), iconRow_);
    connect(chooseImage_, &QPushButton::clicked, this,
            [this] { controller_.chooseCustomIcon(index_); });
    iconLayout->addWidget(chooseImage_);
    layout->addWidget(iconRow_);
    layout->addStretch(1);

    connect(&controller_, &DockController::configChanged, this, &KeyEditor::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &KeyEditor::sync);
    connect(&controller_, &DockController::shortcutNamesChanged, this, [this] {
        fillShortcutMenu();
        syncWarning();
    });
    sync();
}

QString KeyEditor::title(int index) {
    if (index < kScreenKeys)
        return QStringLiteral("Screen button ") + QString::number(index + 1);
    return QStringLiteral("Round button ") + QString::number(index - kScreenKeys + 1);
}

ButtonAction KeyEditor::defaultAction(ButtonAction::Kind kind, const DockConfig& config) {
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
    }
    return ButtonAction::nothing();
}

ButtonAction KeyEditor::action() const {
    const QList<ButtonAction>& keys = controller_.currentKeys();
    return index_ >= 0 && index_ < keys.size() ? keys.at(index_) : ButtonAction::nothing();
}

void KeyEditor::sync() {
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
    syncWarning();
    syncIconRow();
}

void KeyEditor::buildDetails(const Shape& shape) {
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
        layout->addWidget(callout(QStringLiteral("Pick what this button should do.")));
        break;
    case ButtonAction::Kind::app:
        appPicker_ = new AppPicker(controller_, index_, *current.appPath(), details_);
        layout->addWidget(appPicker_);
        break;
    case ButtonAction::Kind::function:
        function_ = new Dropdown(details_);
        function_->setOptions(functionOptions());
        function_->setOnSelect([this](const QVariant& value) {
            if (const std::optional<ButtonFunction> function =
                    ButtonFunction::fromRawValue(value.toString()))
                controller_.setAction(ButtonAction::function(*function), index_);
        });
        layout->addWidget(new LabeledRow(QStringLiteral("Function"), function_, details_));
        break;
    case ButtonAction::Kind::snippet:
        if (!shape.hasSnippets) {
            layout->addWidget(callout(QStringLiteral("Add a snippet in the Snippets tab first.")));
            break;
        }
        snippet_ = new Dropdown(details_);
        snippet_->setOnSelect([this](const QVariant& value) {
            controller_.setAction(ButtonAction::snippet(value.toUuid()), index_);
        });
        layout->addWidget(new LabeledRow(QStringLiteral("Snippet"), snippet_, details_));
        break;
    case ButtonAction::Kind::keys:
        recorder_ = new KeyRecorder(controller_, index_, *current.keyCombo(), details_);
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
        page_->setOnSelect([this](const QVariant& value) {
            controller_.setAction(ButtonAction::page(value.toUuid()), index_);
        });
        layout->addWidget(new LabeledRow(QStringLiteral("Page"), page_, details_));
        break;
    }
    // Keep the icon row and the stretch below the details.
    static_cast<QVBoxLayout*>(this->layout())->insertWidget(2, details_);
    details_->show(); // now, not when the layout gets round to it
    placeInTabOrder(kind_, details_, useAutomatic_);
    QWidget::setTabOrder(useAutomatic_, chooseImage_);
}

QWidget* KeyEditor::buildTextField(const QString& placeholder) {
    text_ = new QLineEdit(details_);
    text_->setPlaceholderText(placeholder);
    text_->setClearButtonEnabled(false);
    // Only the user's edits: setting the text from the configuration must not write it back.
    connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) {
        controller_.setAction(action().kind() == ButtonAction::Kind::shortcut
                                  ? ButtonAction::shortcut(text)
                                  : ButtonAction::url(text),
                              index_);
    });
    return text_;
}

QLabel* KeyEditor::buildWarning() {
    warning_ = TextStyle::label(QString(), TextStyle::Size::callout, false, details_, true);
    warning_->setObjectName(QStringLiteral("warning"));
    TextStyle::setColor(warning_, TextStyle::warningColor(this));
    warning_->hide();
    return warning_;
}

void KeyEditor::syncWarning() {
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

void KeyEditor::fillShortcutMenu() {
    if (!shortcutMenu_)
        return;
    shortcutMenu_->clear();
    const QStringList names = controller_.shortcutNames();
    for (const QString& name : names) {
        shortcutMenu_->addAction(TextStyle::literal(name), this, [this, name] {
            controller_.setAction(ButtonAction::shortcut(name), index_);
        });
    }
    if (names.isEmpty())
        shortcutMenu_->addAction(QStringLiteral("No shortcuts found"))->setEnabled(false);
    shortcutMenu_->addSeparator();
    shortcutMenu_->addAction(QStringLiteral("Refresh List"), this,
                             [this] { controller_.loadShortcutNames(); });
}

void KeyEditor::syncIconRow() {
    const bool shown = index_ < kScreenKeys && action().kind() != ButtonAction::Kind::nothing;
    iconRow_->setVisible(shown);
    if (!shown)
        return;
    const QList<std::optional<QString>>& icons = controller_.currentCustomIcons();
    const QString path = index_ < icons.size() && icons.at(index_) ? *icons.at(index_) : QString();
    if (path.isEmpty()) {
        iconText_->setText(QStringLiteral("Icon: automatic"));
    } else {
        if (path != iconPath_) {
            // Counted from the file's structure; no frame is decoded.
            iconAnimated_ = QImageReader(path).imageCount() > 1;
            iconPath_ = path;
        }
        iconText_->setText(iconAnimated_ ? QStringLiteral("Icon: animated GIF")
                                         : QStringLiteral("Icon: custom image"));
    }
    useAutomatic_->setVisible(!path.isEmpty());
}

} // namespace velloq
