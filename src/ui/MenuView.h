#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTimer;

namespace velloq {

class AccessibilityBanner;
class DockController;
class ShareActions;

// The main window's whole content: the header with the dock's state, the tab selector, the
// tab's content in a scroll area, and the footer with "Quit". A tab's content is made the
// first time it is shown. Escape closes the window (the controller keeps serving the dock).
// The window is resizable, 400 x 600 at least and at first; the size the user gives it is
// remembered in window.ini beside the desktop's other settings (not in config.json: it is
// this computer's screen, not the dock's setup).
class MenuView : public QWidget {
    Q_OBJECT

public:
    // The default and smallest size.
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 600;

    explicit MenuView(DockController& controller, QWidget* parent = nullptr);
    ~MenuView() override;

    // The size last given to the window by the user; the default size when none.
    static QSize rememberedSize();

    QTabBar* tabBar() const { return tabs_; }

    // Imports files opened from the file manager, one after the other, each after a question.
    void openFiles(const QStringList& paths);
    ShareActions* fileSharing() const { return fileSharing_; }
    // The content of the current tab.
    QWidget* currentContent() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeFooter();
    QWidget* makeContent(int tab);
    void showTab();
    void updateHeader();
    void updateBanner();
    void rememberSize();

    DockController& controller_;
    QLabel* deviceName_ = nullptr;
    QWidget* dot_ = nullptr;
    QWidget* accessRow_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    AccessibilityBanner* banner_ = nullptr;
    QTimer* sizeSaver_ = nullptr;
    ShareActions* fileSharing_ = nullptr;
    QStringList filesToOpen_;
    bool openingFile_ = false;
};

} // namespace velloq
