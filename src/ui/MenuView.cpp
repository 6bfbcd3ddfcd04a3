#include "ui/MenuView.h"

#include "controller/DockController.h"
#include "imaging/IconRenderer.h"
#include "ui/AccessibilityBanner.h"
#include "ui/DeviceMockView.h"
#include "ui/EditKeys.h"
#include "ui/PageAppsView.h"
#include "ui/PageBar.h"
#include "ui/SelectionEditor.h"
#include "ui/SettingsView.h"
#include "ui/ShareActions.h"
#include "ui/SnippetsView.h"
#include "ui/TextStyle.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace velloq {

namespace {

constexpr int kPadding = 12;
// A resize is written once the user has stopped dragging for this long.
constexpr int kSizeSaveDelayMs = 500;

// $XDG_CONFIG_HOME/Velloq/window.ini
std::unique_ptr<QSettings> windowSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Velloq"), QStringLiteral("window"));
}

// The tray icon's marks in `color`, its plate left out, like a template image.
QPixmap tintedMenuBarIcon(const QColor& color, qreal scale) {
    QImage image = IconRenderer::menuBarImage(scale).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const qreal alpha = qAlpha(pixel) / 255.0;
            const qreal light = alpha > 0 ? qGray(pixel) / 255.0 / alpha : 0;
            const qreal mark = std::clamp((light - 0.15) / 0.8, 0.0, 1.0) * alpha;
            line[x] = qRgba(color.red(), color.green(), color.blue(), int(mark * 255));
        }
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

// The 8 x 8 connection dot.
class Dot : public QWidget {
public:
    explicit Dot(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(8, 8);
    }
    void setConnected(bool connected) {
        connected_ = connected;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor color = connected_ ? QColor(52, 199, 89) : TextStyle::secondaryColor(this);
        if (!connected_)
            color.setAlphaF(color.alphaF() * 0.5F);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    bool connected_ = false;
};

} // namespace

MenuView::MenuView(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller) {
    setWindowTitle(QStringLiteral("Velloq"));
    setMinimumSize(kWidth, kHeight);
    resize(rememberedSize());
    sizeSaver_ = new QTimer(this);
    sizeSaver_->setSingleShot(true);
    sizeSaver_->setInterval(kSizeSaveDelayMs);
    connect(sizeSaver_, &QTimer::timeout, this, &MenuView::rememberSize);
    new EditKeys(controller_, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());

    tabs_ = new QTabBar(this);
    tabs_->setExpanding(true);
    tabs_->setDrawBase(false);
    for (const MenuTab tab : allMenuTabs())
        tabs_->addTab(menuTabTitle(tab));
    tabs_->setAccessibleName(QStringLiteral("Tabs"));
    auto* tabRow = new QHBoxLayout;
    tabRow->setContentsMargins(kPadding, 0, kPadding, 4);
    tabRow->addWidget(tabs_);
    layout->addLayout(tabRow);

    pages_ = new QStackedWidget(this);
    for (int i = 0; i < int(allMenuTabs().size()); ++i)
        pages_->addWidget(new QWidget(pages_)); // placeholders until first shown
    layout->addWidget(pages_, 1);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    layout->addWidget(makeFooter());

    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index < int(allMenuTabs().size()))
            controller_.setTab(allMenuTabs()[index]);
    });
    connect(&controller_, &DockController::tabChanged, this, &MenuView::showTab);
    connect(&controller_, &DockController::isConnectedChanged, this, &MenuView::updateHeader);
    connect(&controller_, &DockController::deviceNameChanged, this, &MenuView::updateHeader);
    connect(&controller_, &DockController::inaccessibleDockNodeChanged, this,
            &MenuView::updateHeader);
    showTab();
    updateHeader();

    fileSharing_ = new ShareActions(controller_, this);
    connect(fileSharing_, &ShareActions::finished, this, [this] {
        openingFile_ = false;
        openFiles({});
    });
}

void MenuView::openFiles(const QStringList& paths) {
    filesToOpen_ << paths;
    if (openingFile_ || filesToOpen_.isEmpty())
        return;
    openingFile_ = true;
    fileSharing_->importFile(filesToOpen_.takeFirst(), true);
}

MenuView::~MenuView() {
    if (sizeSaver_->isActive())
        rememberSize();
}

QSize MenuView::rememberedSize() {
    const QSize saved = windowSettings()->value(QStringLiteral("size")).toSize();
    return saved.isValid() ? saved.expandedTo(QSize(kWidth, kHeight)) : QSize(kWidth, kHeight);
}

void MenuView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The user's sizes only: not the first layout, nor a maximised or full-screen window.
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        sizeSaver_->start();
}

void MenuView::rememberSize() {
    sizeSaver_->stop();
    const std::unique_ptr<QSettings> settings = windowSettings();
    if (size() == QSize(kWidth, kHeight))
        settings->remove(QStringLiteral("size"));
    else
        settings->setValue(QStringLiteral("size"), size());
}

QWidget* MenuView::makeHeader() {
    auto* header = new QWidget(this);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(kPadding, 10, kPadding, 8);
    column->setSpacing(6);

    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    auto* icon = new QLabel(header);
    icon->setPixmap(tintedMenuBarIcon(palette().color(QPalette::WindowText), devicePixelRatioF()));
    row->addWidget(icon);
    row->addWidget(
        TextStyle::label(QStringLiteral("Velloq"), TextStyle::Size::headline, false, header));
    row->addStretch();
    auto* dot = new Dot(header);
    dot_ = dot;
    row->addWidget(dot);
    deviceName_ = TextStyle::label(QString(), TextStyle::Size::caption, false, header);
    row->addWidget(deviceName_);
    column->addLayout(row);

    accessRow_ = new QWidget(header);
    auto* accessLayout = new QHBoxLayout(accessRow_);
    accessLayout->setContentsMargins(0, 0, 0, 0);
    auto* note = new QLabel(QStringLiteral("Dock found, but Velloq may not open it"), accessRow_);
    note->setWordWrap(true);
    accessLayout->addWidget(note, 1);
    auto* help = new QPushButton(QStringLiteral("Allow…"), accessRow_);
    help->setObjectName(QStringLiteral("dockAccessHelp"));
    connect(help, &QPushButton::clicked, this, [this] { controller_.openAccessibilitySettings(); });
    accessLayout->addWidget(help);
    column->addWidget(accessRow_);
    return header;
}

QWidget* MenuView::makeFooter() {
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(kPadding, 6, kPadding, 8);
    row->addWidget(
        TextStyle::label(QStringLiteral("Velloq 1.4"), TextStyle::Size::caption, true, footer));
    row->addStretch();
    auto* quit = new QPushButton(QStringLiteral("Quit"), footer);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setToolTip(QStringLiteral("Quit Velloq (Ctrl+Q)"));
    connect(quit, &QPushButton::clicked, QCoreApplication::instance(), &QCoreApplication::quit);
    row->addWidget(quit);
    return footer;
}

QWidget* MenuView::makeContent(int tab) {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kPadding);
    switch (allMenuTabs()[tab]) {
    case MenuTab::buttons:
        column->addWidget(new PageBar(controller_, content));
        column->addWidget(new PageAppsView(controller_, content));
        column->addWidget(new DeviceMockView(controller_, content), 0, Qt::AlignHCenter);
        banner_ = new AccessibilityBanner(controller_, content);
        column->addWidget(banner_);
        column->addWidget(new SelectionEditor(controller_, content));
        connect(&controller_, &DockController::configChanged, this, &MenuView::updateBanner);
        connect(&controller_, &DockController::accessibilityGrantedChanged, this,
                &MenuView::updateBanner);
        updateBanner();
        break;
    case MenuTab::snippets:
        column->addWidget(new SnippetsView(controller_, content));
        break;
    case MenuTab::settings:
        column->addWidget(new SettingsView(controller_, content));
        break;
    }
    column->addStretch();

    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    return scroll;
}

QWidget* MenuView::currentContent() const {
    auto* scroll = qobject_cast<QScrollArea*>(pages_->currentWidget());
    return scroll ? scroll->widget() : nullptr;
}

void MenuView::showTab() {
    const int index = int(allMenuTabs().indexOf(controller_.tab()));
    if (!qobject_cast<QScrollArea*>(pages_->widget(index))) {
        QWidget* placeholder = pages_->widget(index);
        pages_->insertWidget(index, makeContent(index));
        pages_->removeWidget(placeholder);
        delete placeholder;
    }
    pages_->setCurrentIndex(index);
    tabs_->setCurrentIndex(index);
}

void MenuView::updateHeader() {
    static_cast<Dot*>(dot_)->setConnected(controller_.isConnected());
    deviceName_->setText(controller_.deviceName());
    accessRow_->setVisible(!controller_.isConnected() &&
                           !controller_.inaccessibleDockNode().isEmpty());
}

void MenuView::updateBanner() {
    banner_->setVisible(controller_.anyActionNeedsAccessibility() &&
                        !controller_.accessibilityGranted());
}

void MenuView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    controller_.setWindowShown(true);
}

void MenuView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    controller_.setWindowShown(false);
}

void MenuView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        !controller_.recordingKey()) {
        window()->close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace velloq
