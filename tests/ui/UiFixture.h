#pragma once

#include "controller/ControllerTestSupport.h"
#include "controller/DockController.h"
#include "siteicons/SiteIcons.h"
#include "support/TestEnv.h"
#include "ui/MenuView.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace velloq::test {

// A controller on a dock source the test picks, and the main window over it.
class UiTest : public ::testing::Test {
protected:
    void TearDown() override {
        window.reset();
        controller.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    QString configPath() const { return scratchDir() + QStringLiteral("/ui-config.json"); }

    void make(std::unique_ptr<DiscoverySource> source) {
        siteIcons = std::make_unique<SiteIcons>(
            SiteIcons::Options{scratchDir() + QStringLiteral("/SiteIcons"), 10000});
        std::vector<std::unique_ptr<DiscoverySource>> sources;
        sources.push_back(std::move(source));
        DockController::Services services;
        services.dock = std::make_unique<StreamDock>(std::move(sources));
        services.configStore = std::make_unique<ConfigStore>(configPath());
        services.clock = &clock;
        services.permissions = &permissions;
        services.siteIcons = siteIcons.get();
        services.wakeWatcher = std::make_unique<FakeWakeWatcher>();
        services.shortcutsFolder = scratchDir() + QStringLiteral("/Shortcuts");
        controller = std::make_unique<DockController>(std::move(services));
    }

    // The window, shown and exposed.
    MenuView& openWindow() {
        window = std::make_unique<MenuView>(*controller);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(waitUntil([&] { return window->isVisible() && window->isActiveWindow(); }));
        return *window;
    }

    SteadyClock clock;
    FakePermissions permissions;
    std::unique_ptr<SiteIcons> siteIcons;
    std::unique_ptr<DockController> controller;
    std::unique_ptr<MenuView> window;
};

} // namespace velloq::test
