#include "ui/ValueSlider.h"

#include "ui/FocusWheel.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace velloq {

ValueSlider::ValueSlider(double minimum, double maximum, double step,
                         std::function<QString(double)> caption, QWidget* parent)
    : QWidget(parent)
    , minimum_(minimum)
    , step_(step)
    , captionFor_(std::move(caption))
    , caption_(new QLabel(this))
    , slider_(new QSlider(Qt::Horizontal, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(caption_);
    layout->addWidget(slider_);
    // The slider counts steps, so that every position is a value the setting allows.
    slider_->setRange(0, int(std::lround((maximum - minimum) / step)));
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    takeWheelOnlyWithFocus(slider_);
    connect(slider_, &QSlider::valueChanged, this,
            [this](int position) { Q_EMIT valueMoved(minimum_ + position * step_); });
}

void ValueSlider::setValue(double value) {
    caption_->setText(captionFor_(value));
    const double position = std::isfinite(value) ? std::round((value - minimum_) / step_) : 0;
    const QSignalBlocker blocker(slider_);
    slider_->setValue(int(std::clamp(position, 0.0, double(slider_->maximum()))));
}

QString ValueSlider::wholeNumber(double value) {
    return QString::number(std::isfinite(value) ? qint64(std::trunc(value)) : 0);
}

} // namespace velloq
