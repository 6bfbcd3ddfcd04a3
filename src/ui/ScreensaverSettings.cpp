#include "ui/ScreensaverSettings.h"

#include "controller/DockController.h"
#include "ui/ConfigEdit.h"
#include "ui/Dropdown.h"
#include "ui/LabeledRow.h"
#include "ui/TextStyle.h"
#include "ui/ValueSlider.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace velloq {

namespace {

const QStringList& builtInAnimations() {
    static const QStringList names{QStringLiteral("Sports Car"), QStringLiteral("Apple"),
                                   QStringLiteral("Space Junk")};
    return names;
}

QString playbackTitle(PlaybackMode mode) {
    return mode == PlaybackMode::loop ? QStringLiteral("Repeat") : QStringLiteral("Bounce");
}

} // namespace

ScreensaverSettings::ScreensaverSettings(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , enabled_(new QCheckBox(QStringLiteral("Show a screensaver when the dock isn’t used"), this))
    , delay_(new ValueSlider(
          1, 30, 1,
          [](double minutes) -> QString {
              return QStringLiteral("Start after ") + ValueSlider::wholeNumber(minutes) +
                     QStringLiteral(" min without a press");
          },
          this))
    , animation_(new Dropdown(this))
    , playback_(new Dropdown(this))
    , speed_(new ValueSlider(
          0.25, 3.0, 0.25,
          [](double speed) -> QString {
              return QStringLiteral("Speed: ") + QLocale().toString(speed) + QStringLiteral("×");
          },
          this))
    , preview_(new QPushButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(TextStyle::label(QStringLiteral("Dock screensaver"),
                                       TextStyle::Size::headline, false, this));

    connect(enabled_, &QCheckBox::clicked, this, [this](bool on) {
        editConfig(controller_, [on](DockConfig& config) { config.screensaverEnabled = on; });
    });
    layout->addWidget(enabled_);

    connect(delay_, &ValueSlider::valueMoved, this, [this](double minutes) {
        editConfig(controller_,
                   [minutes](DockConfig& config) { config.screensaverDelay = minutes; });
    });
    layout->addWidget(delay_);

    auto* animationRow = new QWidget(this);
    auto* animationLayout = new QHBoxLayout(animationRow);
    animationLayout->setContentsMargins(0, 0, 0, 0);
    animationLayout->addWidget(new LabeledRow(QStringLiteral("Animation"), animation_), 1);
    auto* choose = new QPushButton(QStringLiteral("Choose Animation…"), animationRow);
    connect(choose, &QPushButton::clicked, this, [this] { controller_.chooseScreensaverGIF(); });
    animationLayout->addWidget(choose);
    animation_->setOnSelect([this](const QVariant& value) {
        const QString name = value.toString();
        editConfig(controller_,
                   [&name](DockConfig& config) { config.screensaverAnimation = name; });
    });
    layout->addWidget(animationRow);

    QList<DropdownOption> modes;
    for (const PlaybackMode mode : PlaybackMode::allCases())
        modes << DropdownOption::of(playbackTitle(mode), mode.rawValue());
    playback_->setOptions(modes);
    playback_->setOnSelect([this](const QVariant& value) {
        if (const std::optional<PlaybackMode> mode = PlaybackMode::fromRawValue(value.toString()))
            editConfig(controller_,
                       [&mode](DockConfig& config) { config.screensaverPlayback = *mode; });
    });
    layout->addWidget(new LabeledRow(QStringLiteral("Playback"), playback_, this));

    connect(speed_, &ValueSlider::valueMoved, this, [this](double speed) {
        editConfig(controller_, [speed](DockConfig& config) { config.screensaverSpeed = speed; });
    });
    layout->addWidget(speed_);

    connect(preview_, &QPushButton::clicked, this, [this] {
        if (controller_.screensaverRunning())
            controller_.stopScreensaver();
        else
            controller_.startScreensaver();
    });
    layout->addWidget(preview_, 0, Qt::AlignLeft);

    layout->addWidget(TextStyle::label(
        QStringLiteral("The six screen buttons act as one screen, filled edge to edge. If the "
                       "animation’s shape doesn’t match, its longer edge is trimmed. Pressing any "
                       "button on the dock ends the screensaver without doing anything else."),
        TextStyle::Size::body, true, this, true));

    connect(&controller_, &DockController::configChanged, this, &ScreensaverSettings::sync);
    connect(&controller_, &DockController::screensaverRunningChanged, this,
            &ScreensaverSettings::syncPreview);
    connect(&controller_, &DockController::isConnectedChanged, this,
            &ScreensaverSettings::syncPreview);
    sync();
}

void ScreensaverSettings::sync() {
    const DockConfig& config = controller_.config();
    enabled_->setChecked(config.screensaverEnabled);
    delay_->setValue(config.screensaverDelay);

    QList<DropdownOption> animations;
    for (const QString& name : builtInAnimations())
        animations << DropdownOption::of(name, name);
    // A chosen animation (a GIF or a video) is stored as its copy's path.
    if (config.screensaverAnimation.startsWith(u'/'))
        animations << DropdownOption::of(QStringLiteral("Your Animation"),
                                         config.screensaverAnimation, QStringLiteral("Your own"));
    animation_->setOptions(animations);
    animation_->setSelection(config.screensaverAnimation);

    playback_->setSelection(config.screensaverPlayback.rawValue());
    speed_->setValue(config.screensaverSpeed);
    syncPreview();
}

void ScreensaverSettings::syncPreview() {
    preview_->setText(controller_.screensaverRunning() ? QStringLiteral("Stop Preview")
                                                       : QStringLiteral("Preview on Dock"));
    preview_->setEnabled(controller_.isConnected());
}

} // namespace velloq
