// Pages end to end: the controller switching and deleting them on an emulated dock, and the
// window's page controls with real widgets.

#include "ui/EditorsFixture.h"

#include "imaging/IconRenderer.h"
#include "ui/DeviceMockView.h"
#include "ui/MenuView.h"
#include "ui/PageBar.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QSignalSpy>

using namespace velloq;
using namespace velloq::test;
using Command = EmulatedDock::Command;

namespace {

// Two pages: "Media" and "Tools".
DockConfig twoPages() {
    DockConfig config;
    config.pages = {Page::make(QStringLiteral("Media")), Page::make(QStringLiteral("Tools"))};
    return config;
}

// The dock's commands since the last clearRecords, image sizes and keep-alives left out.
QString commands(const EmulatedDock& dock) {
    QStringList parts;
    for (const EmulatedDock::LogEntry& entry : dock.commandLog()) {
        if (entry.command == Command::bat)
            parts << QStringLiteral("BAT key %1").arg(entry.key);
        else if (entry.command != Command::connect)
            parts << entry.text();
    }
    return parts.join(QStringLiteral(", "));
}

DockConfig savedConfig(DockController& controller, const QString& path) {
    controller.flushSave();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return DockConfig::decode(file.readAll()).value_or(DockConfig());
}

} // namespace

TEST_F(EditorsTest, PagesSwitchingSendsOnlyTheFacesThatDiffer) {
    DockConfig config = twoPages();
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[1] = ButtonAction::function(ButtonFunction::paste);
    config.keys[2] = ButtonAction::function(ButtonFunction::lockScreen);
    Page& media = config.pages[0];
    media.keys[0] = ButtonAction::function(ButtonFunction::copy); // as on home
    media.keys[1] = ButtonAction::function(ButtonFunction::cut);  // differs
    media.keys[3] = ButtonAction::function(ButtonFunction::undo); // new; key 3 goes blank
    make(config, true);
    // The initialisation batch ends with an STP of its own: wait for the faces themselves.
    ASSERT_TRUE(waitUntil([&] { return dockShowsTheConfig(); }));
    emulator->clearRecords();
    QSignalSpy changed(controller.get(), &DockController::currentPageChanged);

    controller->setCurrentPage(config.pages[0].id);
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(controller->currentKeys(), config.pages[0].keys);
    ASSERT_TRUE(waitUntil([&] { return dockShowsTheConfig(); }));
    EXPECT_EQ(commands(*emulator), QStringLiteral("BAT key 2, CLE key 3, BAT key 4, STP"));

    controller->setCurrentPage(QUuid::createUuid()); // no such page
    EXPECT_EQ(controller->currentPage(), config.pages[0].id);
    EXPECT_EQ(changed.size(), 1);
}

TEST_F(EditorsTest, PagesDeletingAPageRewiresItsKeysAndLeavesIt) {
    DockConfig config = twoPages();
    const QUuid media = config.pages[0].id;
    const QUuid tools = config.pages[1].id;
    config.keys[4] = ButtonAction::page(media);
    config.pages[0].keys[0] = ButtonAction::page(tools);
    config.pages[0].keys[1] = ButtonAction::page(QUuid());
    config.pages[1].keys[0] = ButtonAction::page(media);
    make(config);
    EXPECT_FALSE(DockController::needsAccessibility(ButtonAction::page(media)));
    using IconRenderer::symbolAndLabel;
    EXPECT_EQ(symbolAndLabel(config.keys[4], {}, config.pages),
              std::pair(QStringLiteral("folder.fill"), QStringLiteral("Media")));
    EXPECT_EQ(symbolAndLabel(config.pages[0].keys[1], {}, config.pages),
              std::pair(QStringLiteral("house.fill"), QStringLiteral("Home")));

    controller->setCurrentPage(media);
    EXPECT_EQ(controller->keysOpening(media), 2);
    QSignalSpy changed(controller.get(), &DockController::currentPageChanged);
    controller->deletePage(media);
    EXPECT_EQ(changed.size(), 1);
    EXPECT_TRUE(controller->currentPage().isNull());
    const DockConfig& now = controller->config();
    ASSERT_EQ(now.pages.size(), 1);
    EXPECT_EQ(now.pages[0].id, tools);
    EXPECT_EQ(now.keys[4], ButtonAction::nothing());
    EXPECT_EQ(now.pages[0].keys[0], ButtonAction::nothing());
    EXPECT_EQ(savedConfig(*controller, dataDir() + QStringLiteral("/config.json")), now);

    // Deleting a page that is not shown keeps the one that is.
    controller->setCurrentPage(tools);
    controller->addPage(QStringLiteral("Spare"));
    const QUuid spare = controller->currentPage();
    controller->setCurrentPage(tools);
    controller->deletePage(spare);
    EXPECT_EQ(controller->currentPage(), tools);
}

TEST_F(EditorsTest, PagesOnTheDockAKeyOpensAPageAndAnotherReturnsHome) {
    const QString shortcuts = dataDir() + QStringLiteral("/Shortcuts");
    const QString marker = dataDir() + QStringLiteral("/marked");
    ASSERT_TRUE(QDir().mkpath(shortcuts));
    QFile script(shortcuts + QStringLiteral("/mark"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\ntouch '" + marker + "'\n").toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

    DockConfig config = twoPages();
    const QUuid media = config.pages[0].id;
    config.keys[0] = ButtonAction::page(media);
    config.keys[1] = ButtonAction::function(ButtonFunction::copy);
    config.pages[0].keys[0] = ButtonAction::page(QUuid());
    config.pages[0].keys[1] = ButtonAction::shortcut(QStringLiteral("mark"));
    config.pages[0].keys[2] = ButtonAction::page(QUuid::createUuid()); // a page since deleted
    make(config, true);
    // The dock shows what the controller last sent.
    const auto settled = [&] {
        for (int i = 0; i < DockController::kScreenKeys && !emulator->batchOpen(); ++i) {
            const auto sent = controller->sentImages().find(i);
            if (emulator->faceData(i) !=
                (sent == controller->sentImages().end() ? QByteArray() : sent->second))
                return false;
        }
        return !emulator->batchOpen();
    };
    ASSERT_TRUE(waitUntil(settled));
    const QByteArray homeFace = emulator->faceData(1);

    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return controller->currentPage() == media; }));
    ASSERT_TRUE(waitUntil([&] { return settled() && emulator->faceData(1) != homeFace; }));
    EXPECT_FALSE(emulator->faceData(0).isEmpty()); // the way home

    // The screensaver ends on the page it interrupted, without acting.
    const QByteArray pageFace = emulator->faceData(1);
    controller->startScreensaver();
    ASSERT_TRUE(controller->screensaverRunning());
    ASSERT_TRUE(emulator->tapKey(1));
    ASSERT_TRUE(waitUntil([&] { return !controller->screensaverRunning(); }));
    ASSERT_TRUE(waitUntil([&] { return settled() && emulator->faceData(1) == pageFace; }));
    EXPECT_EQ(controller->currentPage(), media);
    EXPECT_FALSE(QFile::exists(marker));

    ASSERT_TRUE(emulator->tapKey(1));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(marker); }));
    // The missing page is only logged; the next key still acts on this page.
    ASSERT_TRUE(emulator->tapKey(2));
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return controller->currentPage().isNull(); }));
    ASSERT_TRUE(waitUntil([&] { return settled() && emulator->faceData(1) == homeFace; }));
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

TEST_F(EditorsTest, PagesWindowControls) {
    make();
    show(new MenuView(*controller));
    PageBar* bar = window->findChild<PageBar*>();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->pages()->currentTitle(), QStringLiteral("Home"));
    EXPECT_FALSE(button(QStringLiteral("Rename…")));
    EXPECT_FALSE(button(QStringLiteral("Delete Page")));

    QTest::mouseClick(button(QStringLiteral("Add Page")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Add Page")), Qt::LeftButton);

    ASSERT_EQ(controller->config().pages.size(), 2);
    EXPECT_EQ(controller->currentPage(), controller->config().pages[1].id);
    EXPECT_EQ(bar->pages()->currentTitle(), QStringLiteral("Page 3"));
    EXPECT_EQ(controller->currentKeys()[0], ButtonAction::page(QUuid())); // the way back

    QTest::mouseClick(button(QStringLiteral("Rename…")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return bar->renameDialog() && bar->renameDialog()->isVisible(); }));
    bar->renameDialog()->setTextValue(QStringLiteral("Media"));
    bar->renameDialog()->accept();
    EXPECT_EQ(controller->config().pages[1].name, QStringLiteral("Media"));
    EXPECT_EQ(bar->pages()->currentTitle(), QStringLiteral("Media"));

    // On the first page ("Page 2"), the selected first key opens Media.
    ASSERT_TRUE(pick(bar->pages(), QStringLiteral("Page 2")));
    const QUuid mediaID = controller->config().pages[1].id;
    ASSERT_TRUE(
        waitUntil([&] { return controller->currentPage() == controller->config().pages[0].id; }));
    EXPECT_EQ(menuTitles(dropdown(QStringLiteral("Action"))).mid(6),
              QStringList({"Open Website", "Open Page", "Several Actions", "Toggle"}));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Open Page")));
    EXPECT_EQ(menuTitles(dropdown(QStringLiteral("Page"))),
              QStringList({"Home", "Page 2", "Media"}));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Page")), QStringLiteral("Media")));
    EXPECT_TRUE(waitUntil(
        [&] { return controller->config().pages[0].keys[0] == ButtonAction::page(mediaID); }));

    // Editing Media's key 3 in the preview writes the file's pages[1].keys[3].
    ASSERT_TRUE(pick(bar->pages(), QStringLiteral("Media")));
    ASSERT_TRUE(waitUntil([&] { return controller->currentPage() == mediaID; }));
    auto* preview = window->findChild<DeviceMockView*>();
    ASSERT_TRUE(preview && preview->element(Selection::key(3)));
    QTest::mouseClick(preview->element(Selection::key(3)), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] {
        return controller->selected() == Selection::key(3) &&
               label(QStringLiteral("Screen button 4")) && dropdown(QStringLiteral("Action"));
    }));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Function")));
    ASSERT_TRUE(waitUntil([&] {
        return controller->currentKeys()[3] == ButtonAction::function(ButtonFunction::copy);
    }));
    const DockConfig saved = savedConfig(*controller, dataDir() + QStringLiteral("/config.json"));
    EXPECT_EQ(saved.pages[1].keys[3], ButtonAction::function(ButtonFunction::copy));
    EXPECT_EQ(saved.keys[3], ButtonAction::nothing());

    // Deleting asks first, naming the button that opens the page.
    ASSERT_TRUE(button(QStringLiteral("Delete Page")));
    QTest::mouseClick(button(QStringLiteral("Delete Page")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return bar->deleteDialog() && bar->deleteDialog()->isVisible(); }));
    EXPECT_TRUE(bar->deleteDialog()->text().contains(QStringLiteral("Media")));
    EXPECT_TRUE(
        bar->deleteDialog()->informativeText().startsWith(QStringLiteral("1 button opens it")));
    QAbstractButton* confirm = nullptr;
    for (QAbstractButton* b : bar->deleteDialog()->buttons()) {
        if (b->text() == QStringLiteral("Delete Page"))
            confirm = b;
    }
    ASSERT_TRUE(confirm);
    QTest::mouseClick(confirm, Qt::LeftButton);
    ASSERT_EQ(controller->config().pages.size(), 1);
    EXPECT_EQ(controller->config().pages[0].keys[0], ButtonAction::nothing());
    EXPECT_TRUE(controller->currentPage().isNull());
    EXPECT_EQ(bar->pages()->currentTitle(), QStringLiteral("Home"));
    EXPECT_FALSE(button(QStringLiteral("Delete Page")));
}
