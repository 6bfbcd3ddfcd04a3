#include "ui/LabeledRow.h"

#include <QHBoxLayout>
#include <QLabel>

namespace velloq {

LabeledRow::LabeledRow(const QString& label, QWidget* content, QWidget* parent)
    : QWidget(parent)
    , label_(new QLabel(label, this))
    , content_(content) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(label_, 0, Qt::AlignVCenter);
    content_->setParent(this);
    layout->addWidget(content_, 1, Qt::AlignVCenter);
    label_->setBuddy(content_);
}

} // namespace velloq
