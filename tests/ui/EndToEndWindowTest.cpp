// The whole path from the window to the dock: in the real window, screen button 2 is clicked
// in the preview and set to "Function", then "Paste", with the dropdowns; the emulated dock
// then shows the paste face on key 2 and receives nothing for any other key.
#include "UiFixture.h"

#include "EmulatedDock.h"
#include "device/DeviceModel.h"
#include "device/EmulatorDiscovery.h"
#include "imaging/IconRenderer.h"
#include "ui/DeviceMockView.h"
#include "ui/Dropdown.h"
#include "ui/SelectionEditor.h"

#include <QTest>

using namespace velloq;
using namespace velloq::test;

namespace {

// The visible dropdown of the editor showing `title`, if any.
Dropdown* dropdownShowing(const QWidget& editor, const QString& title) {
    for (Dropdown* dropdown : editor.findChildren<Dropdown*>()) {
        if (dropdown->isVisible() && dropdown->currentTitle() == title)
            return dropdown;
    }
    return nullptr;
}

// Opens the dropdown with a click and clicks the item titled `title`.
bool choose(Dropdown& dropdown, const QString& title) {
    QTest::mouseClick(&dropdown, Qt::LeftButton);
    if (!waitUntil([&] { return dropdown.menu() && dropdown.menu()->isVisible(); }))
        return false;
    QMenu* menu = dropdown.menu();
    for (QAction* action : menu->actions()) {
        if (action->text() == title && action->isEnabled()) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            return true;
        }
    }
    return false;
}

} // namespace

TEST_F(UiTest, ScreenButtonTwoSetToPasteInTheWindowReachesTheDock) {
    const DockModel model = *DockModels::lookup(0x0300, 0x1002);
    EmulatedDock emulator(model);
    ASSERT_TRUE(emulator.plugIn());
    make(std::make_unique<EmulatorDiscovery>());
    controller->start();
    ASSERT_TRUE(waitUntil([&] {
        return controller->isConnected() && emulator.isAwake() && !emulator.batchOpen() &&
               !emulator.hasUnreadReports() && controller->dock().pendingBatches() == 0;
    }));
    QList<QByteArray> before;
    for (int key = 0; key < EmulatedDock::kKeys; ++key)
        before.append(emulator.faceData(key));
    emulator.clearRecords();

    MenuView& menu = openWindow();
    QTest::mouseClick(menu.findChild<DeviceMockView*>()->element(Selection::key(1)),
                      Qt::LeftButton);
    ASSERT_EQ(controller->selected(), Selection::key(1));
    auto* editor = menu.findChild<SelectionEditor*>();
    Dropdown* kinds = dropdownShowing(*editor, QStringLiteral("Nothing"));
    ASSERT_NE(kinds, nullptr);
    ASSERT_TRUE(choose(*kinds, QStringLiteral("Function")));
    const QString copy = ButtonFunction(ButtonFunction::copy).title();
    ASSERT_TRUE(waitUntil([&] { return dropdownShowing(*editor, copy) != nullptr; }));
    ASSERT_TRUE(
        choose(*dropdownShowing(*editor, copy), ButtonFunction(ButtonFunction::paste).title()));
    ASSERT_TRUE(waitUntil([&] {
        return controller->config().keys[1] == ButtonAction::function(ButtonFunction::paste);
    }));

    const std::optional<QByteArray> paste = IconRenderer::face(
        IconRenderer::picture(ButtonAction::function(ButtonFunction::paste), std::nullopt, {}),
        model.imageEdge(), DockModels::finalRotation(model, controller->config().extraRotation));
    ASSERT_TRUE(paste);
    ASSERT_TRUE(waitUntil([&] { return emulator.faceData(1) == *paste && !emulator.batchOpen(); }));
    for (int key = 0; key < EmulatedDock::kKeys; ++key) {
        if (key != 1) {
            EXPECT_EQ(emulator.faceData(key), before[key]) << key;
        }
        EXPECT_EQ(emulator.imageCommits(key) > 0, key == 1) << key;
    }
    for (const EmulatedDock::LogEntry& entry : emulator.commandLog()) {
        if (entry.command == EmulatedDock::Command::bat ||
            entry.command == EmulatedDock::Command::cleKey) {
            EXPECT_EQ(entry.key, 2) << entry.text().toStdString();
        }
    }
    EXPECT_TRUE(emulator.protocolErrors().isEmpty());
}
