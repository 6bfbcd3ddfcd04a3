#include "DockWindow.h"

#include "DockView.h"
#include "EmulatedDock.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace velloq {

DockWindow::DockWindow(EmulatedDock* dock, QWidget* parent)
    : QWidget(parent)
    , dock_(dock) {
    setWindowTitle(QStringLiteral("Velloq dock emulator"));

    models_ = new QComboBox(this);
    const auto table = DockModels::table();
    for (size_t i = 0; i < table.size(); ++i) {
        const DockModel& model = table[i];
        models_->addItem(QStringLiteral("%1 (%2:%3)")
                             .arg(model.name)
                             .arg(model.vendorID, 4, 16, QLatin1Char('0'))
                             .arg(model.productID, 4, 16, QLatin1Char('0')));
        if (model == dock_->model())
            models_->setCurrentIndex(int(i));
    }
    connect(models_, &QComboBox::activated, this, [this](int row) { chooseModel(row); });
    // The dock keeps the keyboard: only the one field that is typed into takes focus, and
    // gives it back when done.
    models_->setFocusPolicy(Qt::NoFocus);

    slowLink_ = new QSpinBox(this);
    slowLink_->setRange(0, 10000);
    slowLink_->setSingleStep(10);
    slowLink_->setSpecialValueText(QStringLiteral("off"));
    slowLink_->setSuffix(QStringLiteral(" reports/s"));
    slowLink_->setValue(dock_->reportRateLimit());
    slowLink_->setToolTip(QStringLiteral("Take at most this many output reports per second"));
    connect(slowLink_, &QSpinBox::valueChanged, this,
            [this](int value) { dock_->setReportRateLimit(value); });
    slowLink_->setFocusPolicy(Qt::ClickFocus);
    connect(slowLink_, &QSpinBox::editingFinished, this, [this] { view_->setFocus(); });

    plug_ = new QPushButton(this);
    plug_->setFocusPolicy(Qt::NoFocus);
    connect(plug_, &QPushButton::clicked, this, [this] {
        if (dock_->isPluggedIn())
            dock_->unplug();
        else
            dock_->plugIn();
    });

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Model"), this));
    controls->addWidget(models_, 1);
    controls->addWidget(new QLabel(QStringLiteral("Slow link"), this));
    controls->addWidget(slowLink_);
    controls->addWidget(plug_);

    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setFocusPolicy(Qt::NoFocus);
    status_->setWordWrap(true);
    view_ = new DockView(dock_, this);
    auto* hint = new QLabel(QStringLiteral("Keys 1–6 and q/w/e press; ↑/↓ choose a knob, ←/→ "
                                           "turn it, Space presses it. Wheel or drag turns."),
                            this);
    hint->setWordWrap(true);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    statistics_ = new QLabel(this);
    statistics_->setFont(fixed);
    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setFocusPolicy(Qt::NoFocus);
    log_->setFont(fixed);
    log_->setMaximumBlockCount(5000);
    log_->setPlaceholderText(QStringLiteral("Commands from Velloq appear here"));

    // The log beside the dock rather than under it, so the window fits a 1280 × 800 screen.
    auto* dockColumn = new QVBoxLayout;
    dockColumn->addLayout(controls);
    dockColumn->addWidget(status_);
    dockColumn->addWidget(view_, 1);
    dockColumn->addWidget(hint);
    dockColumn->addWidget(statistics_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(dockColumn, 3);
    layout->addWidget(log_, 2);
    resize(kDefaultSize);

    connect(dock_, &EmulatedDock::commandReceived, this,
            [this](const EmulatedDock::LogEntry& entry) { appendLog(entry.text()); });
    connect(dock_, &EmulatedDock::protocolError, this, [this](const QString& message) {
        appendLog(QStringLiteral("PROTOCOL ERROR: ") + message);
        updateStatus();
    });
    for (auto signal :
         {&EmulatedDock::peerChanged, &EmulatedDock::pluggedChanged, &EmulatedDock::awakeChanged})
        connect(dock_, signal, this, [this] { updateStatus(); });
    connect(dock_, &EmulatedDock::brightnessChanged, this, [this] { updateStatus(); });
    connect(dock_, &EmulatedDock::peerChanged, this, [this](bool connected) {
        appendLog(connected ? QStringLiteral("— Velloq connected")
                            : QStringLiteral("— Velloq left"));
    });

    auto* tick = new QTimer(this);
    connect(tick, &QTimer::timeout, this, [this] {
        updateStatistics();
        updateStatus();
    });
    tick->start(1000);
    updateStatus();
    updateStatistics();
    view_->setFocus();
}

void DockWindow::chooseModel(int row) {
    const auto table = DockModels::table();
    if (row < 0 || size_t(row) >= table.size() || table[size_t(row)] == dock_->model())
        return;
    dock_->setModel(table[size_t(row)]);
    appendLog(QStringLiteral("— now ") + dock_->model().name);
    updateStatus();
}

void DockWindow::updateStatus() {
    plug_->setText(dock_->isPluggedIn() ? QStringLiteral("Unplug") : QStringLiteral("Plug in"));
    QString text;
    if (!dock_->isPluggedIn())
        text = QStringLiteral("Unplugged.");
    else if (dock_->hasPeer())
        text = QStringLiteral("Velloq connected.");
    else
        text = QStringLiteral("Waiting for Velloq at ") + dock_->socketPath();
    text += QStringLiteral("  Brightness %1%, %2, %3 bytes per report.")
                .arg(dock_->brightness())
                .arg(dock_->isAwake() ? QStringLiteral("awake") : QStringLiteral("asleep"))
                .arg(dock_->reportSize());
    if (const auto keepAlive = dock_->lastKeepAlive()) {
        using namespace std::chrono;
        const double now = duration<double>(steady_clock::now().time_since_epoch()).count();
        text += QStringLiteral("  Last keep-alive %1 s ago.").arg(int(now - *keepAlive));
    }
    const int errors = int(dock_->protocolErrors().size());
    if (errors > 0)
        text += QStringLiteral("  Protocol errors: %1.").arg(errors);
    status_->setText(text);
}

void DockWindow::updateStatistics() {
    const qint64 reports = dock_->reportsReceived();
    const qint64 bytes = dock_->bytesReceived();
    QString commits;
    for (int i = 0; i < EmulatedDock::kKeys; ++i) {
        const int total = dock_->imageCommits(i);
        commits += QStringLiteral(" %1").arg(std::max(0, total - lastCommits_[size_t(i)]), 3);
        lastCommits_[size_t(i)] = total;
    }
    statistics_->setText(QStringLiteral("reports/s %1   bytes/s %2   image commits/s per key%3")
                             .arg(std::max<qint64>(0, reports - lastReports_), 5)
                             .arg(std::max<qint64>(0, bytes - lastBytes_), 8)
                             .arg(commits));
    lastReports_ = reports;
    lastBytes_ = bytes;
}

void DockWindow::appendLog(const QString& line) {
    log_->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz  ")) + line);
}

} // namespace velloq
