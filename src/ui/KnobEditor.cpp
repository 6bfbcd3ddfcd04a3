#include "ui/KnobEditor.h"

#include "controller/DockController.h"
#include "ui/ConfigEdit.h"
#include "ui/Dropdown.h"
#include "ui/LabeledRow.h"
#include "ui/TextStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace velloq {

KnobEditor::KnobEditor(DockController& controller, int index, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , index_(index)
    , role_(new Dropdown(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(TextStyle::label(title(index_), TextStyle::Size::headline, false, this));

    QList<DropdownOption> options;
    for (const KnobRole role : KnobRole::allCases())
        options << DropdownOption::of(roleTitle(role), role.rawValue());
    role_->setOptions(options);
    role_->setOnSelect([this](const QVariant& value) {
        const std::optional<KnobRole> role = KnobRole::fromRawValue(value.toString());
        if (!role || index_ < 0 || index_ >= controller_.config().knobs.size())
            return;
        editConfig(controller_, [&](DockConfig& config) { config.knobs[index_] = *role; });
    });
    layout->addWidget(new LabeledRow(QStringLiteral("Controls"), role_, this));

    help_ = TextStyle::label(QString(), TextStyle::Size::callout, true, this, true);
    layout->addWidget(help_);
    layout->addStretch(1);

    connect(&controller_, &DockController::configChanged, this, &KnobEditor::sync);
    sync();
}

QString KnobEditor::title(int index) {
    switch (index) {
    case 0:
        return QStringLiteral("Small left knob");
    case 1:
        return QStringLiteral("Big knob");
    default:
        return QStringLiteral("Small right knob");
    }
}

QString KnobEditor::roleTitle(KnobRole role) {
    switch (role) {
    case KnobRole::volume:
        return QStringLiteral("Sound Volume");
    case KnobRole::microphone:
        return QStringLiteral("Microphone Volume");
    case KnobRole::brightness:
        return QStringLiteral("Screen Brightness");
    case KnobRole::nothing:
        return QStringLiteral("Nothing");
    }
    return {};
}

QString KnobEditor::help(KnobRole role) {
    QString press;
    switch (role) {
    case KnobRole::volume:
        press = QStringLiteral("Press to mute / unmute sound");
        break;
    case KnobRole::microphone:
        press = QStringLiteral("Press to mute / unmute the mic");
        break;
    case KnobRole::brightness:
        press = QStringLiteral("Press for full brightness (press again to go back)");
        break;
    case KnobRole::nothing:
        return {};
    }
    return QStringLiteral("Turn to adjust. ") + press + u'.';
}

void KnobEditor::sync() {
    const QList<KnobRole>& knobs = controller_.config().knobs;
    const std::optional<KnobRole> role =
        index_ >= 0 && index_ < knobs.size() ? std::optional(knobs.at(index_)) : std::nullopt;
    role_->setSelection(role ? QVariant(role->rawValue()) : QVariant());
    const QString text = role ? help(*role) : QString();
    help_->setText(text);
    help_->setVisible(!text.isEmpty());
}

} // namespace velloq
