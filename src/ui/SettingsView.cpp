#include "ui/SettingsView.h"

#include "controller/DockController.h"
#include "ui/ConfigEdit.h"
#include "ui/Dropdown.h"
#include "ui/FocusWheel.h"
#include "ui/FollowSettings.h"
#include "ui/LabeledRow.h"
#include "ui/ScreensaverSettings.h"
#include "ui/ShareActions.h"
#include "ui/TextStyle.h"
#include "ui/ValueSlider.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace velloq {

namespace {

const QColor kOrange(255, 149, 0);
const QColor kGreen(52, 199, 89);

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

SettingsView::SettingsView(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller) {
    // The window scrolls the tab's content.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildContent());

    connect(&controller_, &DockController::configChanged, this, &SettingsView::sync);
    connect(&controller_, &DockController::launchAtLoginChanged, this,
            &SettingsView::syncLoginItem);
    connect(&controller_, &DockController::loginItemNoteChanged, this,
            &SettingsView::syncLoginItem);
    connect(&controller_, &DockController::accessibilityGrantedChanged, this,
            &SettingsView::syncAccess);
    connect(&controller_, &DockController::isConnectedChanged, this,
            [this] { refresh_->setEnabled(controller_.isConnected()); });
    sync();
    syncLoginItem();
    syncAccess();
    refresh_->setEnabled(controller_.isConnected());
}

QWidget* SettingsView::buildContent() {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setSpacing(10);

    launchAtLogin_ = new QCheckBox(QStringLiteral("Open Velloq when I log in"), content);
    connect(launchAtLogin_, &QCheckBox::clicked, this, [this](bool on) {
        controller_.setLaunchAtLogin(on);
        syncLoginItem(); // shows the real state, also when nothing changed
    });
    layout->addWidget(launchAtLogin_);
    loginNote_ = TextStyle::label(QString(), TextStyle::Size::caption, false, content, true);
    TextStyle::setColor(loginNote_, kOrange);
    layout->addWidget(loginNote_);

    auto* access = new QWidget(content);
    auto* accessLayout = new QHBoxLayout(access);
    accessLayout->setContentsMargins(0, 0, 0, 0);
    accessSymbol_ = new QLabel(access);
    accessText_ = new QLabel(access);
    allow_ = new QPushButton(QStringLiteral("Allow…"), access);
    connect(allow_, &QPushButton::clicked, this,
            [this] { controller_.openAccessibilitySettings(); });
    accessLayout->addWidget(accessSymbol_);
    accessLayout->addWidget(accessText_);
    accessLayout->addStretch(1);
    accessLayout->addWidget(allow_);
    layout->addWidget(access);
    layout->addWidget(divider(content));

    brightness_ = new ValueSlider(
        0, 100, 5,
        [](double percent) -> QString {
            return QStringLiteral("Dock screen brightness: ") + ValueSlider::wholeNumber(percent) +
                   u'%';
        },
        content);
    // Every step is an assignment; the controller keeps saving off the hot path.
    connect(brightness_, &ValueSlider::valueMoved, this, [this](double percent) {
        editConfig(controller_, [percent](DockConfig& config) { config.dockBrightness = percent; });
    });
    layout->addWidget(brightness_);

    auto* stepRow = new QWidget(content);
    auto* stepLayout = new QHBoxLayout(stepRow);
    stepLayout->setContentsMargins(0, 0, 0, 0);
    knobStepText_ = new QLabel(stepRow);
    knobStep_ = new QSpinBox(stepRow);
    knobStep_->setRange(1, 10);
    knobStep_->setAccessibleName(QStringLiteral("Knob step"));
    takeWheelOnlyWithFocus(knobStep_);
    connect(knobStep_, &QSpinBox::valueChanged, this, [this](int step) {
        editConfig(controller_, [step](DockConfig& config) { config.knobStep = step; });
    });
    stepLayout->addWidget(knobStepText_);
    stepLayout->addStretch(1);
    stepLayout->addWidget(knobStep_);
    layout->addWidget(stepRow);

    nativeIndicators_ = new QCheckBox(
        TextStyle::literal(QStringLiteral("Use the desktop’s volume & brightness pop-ups")),
        content);
    connect(nativeIndicators_, &QCheckBox::clicked, this, [this](bool on) {
        editConfig(controller_, [on](DockConfig& config) { config.nativeIndicators = on; });
    });
    layout->addWidget(nativeIndicators_);
    layout->addWidget(TextStyle::label(QStringLiteral("Needs input access. The microphone has no "
                                                      "desktop pop-up, so Velloq shows its own."),
                                       TextStyle::Size::body, true, content, true));
    showHUD_ =
        new QCheckBox(QStringLiteral("Show Velloq’s own pop-up when the desktop can’t"), content);
    connect(showHUD_, &QCheckBox::clicked, this, [this](bool on) {
        editConfig(controller_, [on](DockConfig& config) { config.showHUD = on; });
    });
    layout->addWidget(showHUD_);

    rotation_ = new Dropdown(content);
    QList<DropdownOption> angles;
    for (const int angle : {0, 90, 180, 270})
        angles << DropdownOption::of(QString::number(angle) + u'°', angle);
    rotation_->setOptions(angles);
    rotation_->setOnSelect([this](const QVariant& value) {
        const int angle = value.toInt();
        editConfig(controller_, [angle](DockConfig& config) { config.extraRotation = angle; });
    });
    layout->addWidget(new LabeledRow(QStringLiteral("Rotate button images"), rotation_, content));
    layout->addWidget(TextStyle::label(
        QStringLiteral("Only change this if the icons look sideways or upside down on the dock."),
        TextStyle::Size::caption, true, content, true));

    refresh_ = new QPushButton(QStringLiteral("Refresh Dock"), content);
    // Sends everything again when a dock is held; does nothing otherwise.
    connect(refresh_, &QPushButton::clicked, this, [this] { controller_.resendEverything(); });
    layout->addWidget(refresh_, 0, Qt::AlignLeft);

    layout->addWidget(divider(content));
    layout->addWidget(new FollowSettings(controller_, content));
    layout->addWidget(divider(content));
    layout->addWidget(new ScreensaverSettings(controller_, content));
    layout->addWidget(divider(content));
    layout->addWidget(buildSharing(content));
    layout->addStretch(1);
    return content;
}

QWidget* SettingsView::buildSharing(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(
        TextStyle::label(QStringLiteral("Your setup"), TextStyle::Size::headline, false, box));
    column->addWidget(TextStyle::label(
        QStringLiteral("A .velloq file holds your buttons, pages, snippets and settings with "
                       "your images, to move them to another computer or keep a backup."),
        TextStyle::Size::caption, true, box, true));
    auto* row = new QHBoxLayout;
    auto* exportAll = new QPushButton(QStringLiteral("Export All…"), box);
    auto* import = new QPushButton(QStringLiteral("Import…"), box);
    sharing_ = new ShareActions(controller_, this);
    connect(exportAll, &QPushButton::clicked, sharing_, &ShareActions::exportAll);
    connect(import, &QPushButton::clicked, sharing_, &ShareActions::chooseFileToImport);
    row->addWidget(exportAll);
    row->addWidget(import);
    row->addStretch(1);
    column->addLayout(row);
    return box;
}

void SettingsView::sync() {
    const DockConfig& config = controller_.config();
    brightness_->setValue(config.dockBrightness);
    knobStepText_->setText(QStringLiteral("Knob step: ") +
                           ValueSlider::wholeNumber(config.knobStep) +
                           QStringLiteral("% per click"));
    {
        const QSignalBlocker blocker(knobStep_);
        knobStep_->setValue(std::isfinite(config.knobStep) ? int(std::lround(config.knobStep)) : 1);
    }
    nativeIndicators_->setChecked(config.nativeIndicators);
    showHUD_->setChecked(config.showHUD);
    rotation_->setSelection(QVariant::fromValue<qlonglong>(config.extraRotation)); // numeric ==
}

void SettingsView::syncLoginItem() {
    launchAtLogin_->setChecked(controller_.launchAtLogin());
    const std::optional<QString> note = controller_.loginItemNote();
    loginNote_->setText(note.value_or(QString()));
    loginNote_->setVisible(note.has_value());
}

void SettingsView::syncAccess() {
    const bool granted = controller_.accessibilityGranted();
    TextStyle::setSymbol(accessSymbol_,
                         granted ? QStringLiteral("checkmark.circle.fill")
                                 : QStringLiteral("exclamationmark.triangle.fill"),
                         granted ? kGreen : kOrange);
    accessText_->setText(granted ? QStringLiteral("Input access is on")
                                 : QStringLiteral("Input access is off"));
    allow_->setVisible(!granted);
}

} // namespace velloq
