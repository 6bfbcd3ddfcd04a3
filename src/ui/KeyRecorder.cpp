#include "ui/KeyRecorder.h"

#include "controller/DockController.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace velloq {

namespace {
constexpr int kRecordingPt = 13;
constexpr int kComboPt = 16;
} // namespace

KeyRecorder::KeyRecorder(DockController& controller, int index, const KeyCombo& combo,
                         QWidget* parent, const ActionPath& inside)
    : QWidget(parent)
    , controller_(&controller)
    , index_(index)
    , inside_(inside)
    , combo_(combo)
    , text_(new QLabel(this))
    , button_(new QPushButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text_);
    layout->addStretch(1);
    layout->addWidget(button_);

    connect(button_, &QPushButton::clicked, this, [this] {
        if (isRecording())
            controller_->stopRecordingShortcut();
        else
            controller_->startRecordingShortcut(index_, inside_);
    });
    connect(controller_, &DockController::recordingKeyChanged, this, &KeyRecorder::sync);
    sync();
}

KeyRecorder::~KeyRecorder() {
    // A child is not hidden when its parent deletes it, so leaving the screen this way
    // ends the recording here. Our slot must not run while we go.
    if (controller_) {
        disconnect(controller_, nullptr, this, nullptr);
        stopOwnRecording();
    }
}

bool KeyRecorder::isRecording() const {
    return controller_ && controller_->recordingKey() == index_ &&
           controller_->recordingPath() == inside_;
}

void KeyRecorder::setCombo(const KeyCombo& combo) {
    if (combo == combo_)
        return;
    combo_ = combo;
    sync();
}

void KeyRecorder::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    stopOwnRecording();
}

void KeyRecorder::stopOwnRecording() {
    if (isRecording())
        controller_->stopRecordingShortcut();
}

void KeyRecorder::sync() {
    const bool recording = isRecording();
    QFont font = this->font();
    font.setWeight(QFont::Medium);
    font.setPointSize(recording ? kRecordingPt : kComboPt);
    text_->setFont(font);
    if (recording)
        text_->setText(QStringLiteral("Press a shortcut… (Esc cancels)"));
    else if (combo_.isRecorded())
        text_->setText(combo_.displayText());
    else
        text_->setText(QStringLiteral("No shortcut yet"));
    const bool primary = !recording && combo_.isRecorded();
    TextStyle::setColor(text_, primary ? palette().color(QPalette::WindowText)
                                       : TextStyle::secondaryColor(this));
    button_->setText(recording ? QStringLiteral("Cancel") : QStringLiteral("Record Shortcut"));
}

} // namespace velloq
