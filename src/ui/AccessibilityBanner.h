#pragma once

#include <QWidget>

class QPushButton;

namespace velloq {

class DockController;

// The orange note that some keys need input access, with a button to the help that grants it.
// MenuView decides when it is shown.
class AccessibilityBanner : public QWidget {
    Q_OBJECT

public:
    explicit AccessibilityBanner(DockController& controller, QWidget* parent = nullptr);

    QPushButton* allowButton() const { return allow_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* allow_;
};

} // namespace velloq
