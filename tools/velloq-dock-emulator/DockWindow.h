#pragma once

#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace velloq {

class DockView;
class EmulatedDock;

// The emulator's window: the model chooser, the slow-link setting, the dock, live statistics
// and the command log.
class DockWindow : public QWidget {
    Q_OBJECT
public:
    // Fits a 1280 × 800 screen with a panel and the title bar.
    static constexpr QSize kDefaultSize{1120, 600};

    explicit DockWindow(EmulatedDock* dock, QWidget* parent = nullptr);

private:
    void chooseModel(int row);
    void updateStatus();
    void updateStatistics();
    void appendLog(const QString& line);

    EmulatedDock* dock_;
    QComboBox* models_ = nullptr;
    QSpinBox* slowLink_ = nullptr;
    QPushButton* plug_ = nullptr;
    QLabel* status_ = nullptr;
    DockView* view_ = nullptr;
    QLabel* statistics_ = nullptr;
    QPlainTextEdit* log_ = nullptr;

    qint64 lastReports_ = 0;
    qint64 lastBytes_ = 0;
    std::array<int, 6> lastCommits_{};
};

} // namespace velloq
