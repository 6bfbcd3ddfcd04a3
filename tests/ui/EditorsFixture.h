#pragma once

// The controller with what cannot run here faked (permissions, wake, open panels), an
// optional emulated dock, and helpers that drive the real widgets under the X server.

#include "EmulatedDock.h"
#include "controller/ControllerTestSupport.h"
#include "controller/DockController.h"
#include "device/DeviceModel.h"
#include "device/EmulatorDiscovery.h"
#include "imaging/IconRenderer.h"
#include "siteicons/SiteIcons.h"
#include "support/TestEnv.h"
#include "system/AppLauncher.h"
#include "ui/Dropdown.h"
#include "ui/LabeledRow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QThreadPool>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace velloq::test {

class RecordingUrlOpener final : public UrlOpener {
public:
    void openUrl(const QUrl& url, Failed) override { opened << url; }
    QList<QUrl> opened;
};

class EditorsTest : public ::testing::Test {
protected:
    void TearDown() override {
        window.reset();
        controller.reset();
        emulator.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    QString dataDir() const { return scratchDir() + QStringLiteral("/data"); }
    QString appsDir() const { return dataDir() + QStringLiteral("/applications"); }

    // Saves `config`, makes the controller and starts it; with `dock`, an emulated dock of
    // `dockModel` is plugged in first and the controller waits for it.
    void make(const DockConfig& config = DockConfig(), bool dock = false) {
        const QString configPath = dataDir() + QStringLiteral("/config.json");
        ASSERT_TRUE(ConfigStore(configPath).save(config));
        std::vector<std::unique_ptr<DiscoverySource>> sources;
        if (dock) {
            emulator = std::make_unique<EmulatedDock>(dockModel);
            ASSERT_TRUE(emulator->plugIn());
            sources.push_back(std::make_unique<EmulatorDiscovery>());
        }
        siteIcons = std::make_unique<SiteIcons>(
            SiteIcons::Options{dataDir() + QStringLiteral("/SiteIcons"), 10000});
        DockController::Services services;
        services.dock = std::make_unique<StreamDock>(std::move(sources));
        services.configStore = std::make_unique<ConfigStore>(configPath);
        services.clock = &clock;
        services.permissions = &permissions;
        services.audio = audio;
        services.siteIcons = siteIcons.get();
        services.wakeWatcher = std::make_unique<FakeWakeWatcher>();
        services.activeApp =
            activeApp ? std::move(activeApp) : std::make_unique<NoActiveAppWatcher>();
        services.shortcutsFolder = dataDir() + QStringLiteral("/Shortcuts");
        services.actions.applicationDirs = {appsDir()};
        services.actions.urlOpener = &urls;
        services.actions.openPanel = [this](const OpenPanelRequest& request) {
            panels << request;
            return panelAnswer ? panelAnswer() : std::optional<QString>();
        };
        controller = std::make_unique<DockController>(std::move(services));
        controller->start();
        if (dock) {
            ASSERT_TRUE(waitUntil([&] { return controller->isConnected(); }));
        }
    }

    // The emulated dock shows the current page's faces as the configuration has them now,
    // and nothing more is on its way to it.
    bool dockShowsTheConfig() const {
        if (emulator->batchOpen() || emulator->hasUnreadReports() ||
            controller->dock().pendingBatches() > 0)
            return false;
        const DockConfig& config = controller->config();
        const auto model = controller->dock().model();
        const int edge = DockModels::imageEdge(model);
        const int rotation = DockModels::finalRotation(model, config.extraRotation);
        for (int i = 0; i < DockController::kScreenKeys; ++i) {
            const IconRenderer::Picture picture = IconRenderer::picture(
                controller->currentKeys().value(i), controller->currentCustomIcons().value(i),
                config.snippets, config.pages);
            if (emulator->faceData(i) !=
                IconRenderer::face(picture, edge, rotation).value_or(QByteArray()))
                return false;
        }
        return true;
    }

    // Shows `view` in a window of the main window's size.
    template <typename View> View* show(View* view) {
        window = std::make_unique<QWidget>();
        view->setParent(window.get());
        window->resize(400, 600);
        view->resize(400, 600);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return view;
    }

    // The visible widget of type T under the window that `matches` accepts.
    template <typename T, typename Match> T* find(Match matches) const {
        for (T* widget : window->findChildren<T*>()) {
            if (widget->isVisibleTo(window.get()) && matches(widget))
                return widget;
        }
        return nullptr;
    }
    QAbstractButton* button(const QString& text) const {
        return find<QAbstractButton>([&](QAbstractButton* b) { return b->text() == text; });
    }
    QLabel* label(const QString& text) const {
        return find<QLabel>([&](QLabel* l) { return l->text() == text; });
    }
    // The dropdown of the row captioned `caption`.
    Dropdown* dropdown(const QString& caption) const {
        LabeledRow* row =
            find<LabeledRow>([&](LabeledRow* r) { return r->label()->text() == caption; });
        return row ? qobject_cast<Dropdown*>(row->content()) : nullptr;
    }

    // Clicks `widget`, waits for its popup menu and clicks the item titled `title` in it.
    // False when no such enabled item shows.
    static bool pick(QWidget* widget, const QString& title) {
        QTest::mouseClick(widget, Qt::LeftButton);
        QMenu* menu = nullptr;
        if (!waitUntil([&] {
                menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                return menu && menu->isVisible();
            }))
            return false;
        for (QAction* action : menu->actions()) {
            if (action->text() == title && action->isEnabled()) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                const bool closed = waitUntil([&] { return !QApplication::activePopupWidget(); });
                // The dropdown hands the choice over in a queued call once its menu is gone.
                QCoreApplication::sendPostedEvents();
                return closed;
            }
        }
        menu->close();
        return false;
    }

    // The titles of the items in the popup menu that clicking `widget` opens; closes it.
    static QStringList menuTitles(QWidget* widget) {
        QTest::mouseClick(widget, Qt::LeftButton);
        QMenu* menu = nullptr;
        if (!waitUntil(
                [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }))
            return {};
        QStringList titles;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                titles << action->text();
        }
        menu->close();
        return titles;
    }

    DockModel dockModel = *DockModels::lookup(0x0300, 0x1002);
    ManualClock clock;
    FakePermissions permissions;
    std::unique_ptr<ActiveAppWatcher> activeApp; // for make(); none when empty
    SystemAudio* audio = nullptr; // none unless a test sets one before make()
    RecordingUrlOpener urls;
    std::unique_ptr<EmulatedDock> emulator;
    std::unique_ptr<SiteIcons> siteIcons;
    std::unique_ptr<DockController> controller;
    std::unique_ptr<QWidget> window;
    QList<OpenPanelRequest> panels;
    // What the open panel gives, run while it is open; none (cancelled) when unset.
    std::function<std::optional<QString>()> panelAnswer;
};

} // namespace velloq::test
