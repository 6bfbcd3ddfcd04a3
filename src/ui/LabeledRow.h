#pragma once

#include <QWidget>

class QLabel;

namespace velloq {

// A caption and a control in one row, centred vertically, 10 px apart.
class LabeledRow : public QWidget {
    Q_OBJECT

public:
    LabeledRow(const QString& label, QWidget* content, QWidget* parent = nullptr);

    QLabel* label() const { return label_; }
    QWidget* content() const { return content_; }

private:
    QLabel* label_;
    QWidget* content_;
};

} // namespace velloq
