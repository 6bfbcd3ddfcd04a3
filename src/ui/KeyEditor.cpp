#include "ui/KeyEditor.h"

#include "controller/DockController.h"
#include "ui/ActionEditor.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velloq {

namespace {
constexpr int kScreenKeys = 6;
} // namespace

QList<DropdownOption> KeyEditor::pageOptions(const DockConfig& config) {
    return ActionEditor::pageOptions(config);
}

ButtonAction KeyEditor::defaultAction(ButtonAction::Kind kind, const DockConfig& config) {
    return ActionEditor::defaultAction(kind, config);
}

KeyEditor::KeyEditor(DockController& controller, int index, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , index_(index) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(TextStyle::label(title(index_), TextStyle::Size::headline, false, this));
    editor_ = new ActionEditor(controller_, index_, {}, QStringLiteral("Action"),
                               ButtonAction::Kind::allCases(), this);
    layout->addWidget(editor_);
    icon_ = buildIconRow(QStringLiteral("Choose Image…"), false);
    onIcon_ = buildIconRow(QStringLiteral("Image when on…"), true);
    layout->addWidget(icon_.row);
    layout->addWidget(onIcon_.row);
    layout->addStretch(1);

    connect(&controller_, &DockController::configChanged, this, &KeyEditor::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &KeyEditor::sync);
    sync();
}

QString KeyEditor::title(int index) {
    if (index < kScreenKeys)
        return QStringLiteral("Screen button ") + QString::number(index + 1);
    return QStringLiteral("Round button ") + QString::number(index - kScreenKeys + 1);
}

ButtonAction KeyEditor::action() const {
    const QList<ButtonAction>& keys = controller_.currentKeys();
    return index_ >= 0 && index_ < keys.size() ? keys.at(index_) : ButtonAction::nothing();
}

KeyEditor::IconRow KeyEditor::buildIconRow(const QString& chooseTitle, bool whenOn) {
    IconRow icon{new QWidget(this), nullptr, nullptr, nullptr, QString(), false};
    auto* layout = new QHBoxLayout(icon.row);
    layout->setContentsMargins(0, 0, 0, 0);
    icon.text = TextStyle::label(QString(), TextStyle::Size::callout, true, icon.row);
    layout->addWidget(icon.text);
    layout->addStretch(1);
    icon.useAutomatic = new QPushButton(QStringLiteral("Use Automatic"), icon.row);
    connect(icon.useAutomatic, &QPushButton::clicked, this, [this, whenOn] {
        if (whenOn)
            controller_.clearOnIcon(index_);
        else
            controller_.clearCustomIcon(index_);
    });
    layout->addWidget(icon.useAutomatic);
    icon.choose = new QPushButton(chooseTitle, icon.row);
    connect(icon.choose, &QPushButton::clicked, this, [this, whenOn] {
        if (whenOn)
            controller_.chooseOnIcon(index_);
        else
            controller_.chooseCustomIcon(index_);
    });
    layout->addWidget(icon.choose);
    return icon;
}

void KeyEditor::sync() {
    const ButtonAction::Kind kind = action().kind();
    const bool screen = index_ < kScreenKeys;
    const bool toggle = kind == ButtonAction::Kind::toggle;
    syncIconRow(icon_, controller_.currentCustomIcons(),
                screen && kind != ButtonAction::Kind::nothing,
                toggle ? QStringLiteral("Icon when off") : QStringLiteral("Icon"));
    syncIconRow(onIcon_, controller_.config().onIconsOf(controller_.currentPage()),
                screen && toggle, QStringLiteral("Icon when on"));
}

void KeyEditor::syncIconRow(IconRow& icon, const QList<std::optional<QString>>& icons, bool shown,
                            const QString& caption) {
    icon.row->setVisible(shown);
    if (!shown)
        return;
    const QString path = index_ < icons.size() && icons.at(index_) ? *icons.at(index_) : QString();
    if (path.isEmpty()) {
        icon.text->setText(caption + QStringLiteral(": automatic"));
    } else {
        if (path != icon.path) {
            // Counted from the file's structure; no frame is decoded.
            icon.animated = QImageReader(path).imageCount() > 1;
            icon.path = path;
        }
        icon.text->setText(caption + (icon.animated ? QStringLiteral(": animated GIF")
                                                    : QStringLiteral(": custom image")));
    }
    icon.useAutomatic->setVisible(!path.isEmpty());
}

} // namespace velloq
