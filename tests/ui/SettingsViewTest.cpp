#include "ui/EditorsFixture.h"

#include "system/Autostart.h"
#include "ui/MenuView.h"
#include "ui/SettingsView.h"
#include "ui/SnippetRow.h"
#include "ui/SnippetsView.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace velloq;
using namespace velloq::test;

namespace {

// The slider under the caption that starts with `caption`.
QSlider* sliderUnder(const QLabel* caption) {
    return caption ? caption->parentWidget()->findChild<QSlider*>() : nullptr;
}

// A check box takes clicks on its box and text only.
void clickBox(QAbstractButton* box) {
    ASSERT_TRUE(box);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

// One real wheel notch down over `widget`, through the X server, as a mouse sends it.
void wheelDownOver(QWidget* widget) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    const QPoint at = widget->mapToGlobal(widget->rect().center());
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
    XTestFakeButtonEvent(display, 5, True, CurrentTime);
    XTestFakeButtonEvent(display, 5, False, CurrentTime);
    XCloseDisplay(display);
}

} // namespace

TEST_F(EditorsTest, ASliderTakesTheWheelOnlyWithFocusElseThePageScrolls) {
    make();
    controller->setTab(MenuTab::settings);
    window = std::make_unique<MenuView>(*controller);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QSlider* brightness = sliderUnder(label(QStringLiteral("Dock screen brightness: 70%")));
    ASSERT_TRUE(brightness);
    auto* scroll = qobject_cast<QScrollArea*>(
        static_cast<MenuView*>(window.get())->currentContent()->parentWidget()->parentWidget());
    ASSERT_TRUE(scroll);
    QScrollBar* page = scroll->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return page->maximum() > 0; }))
        << "the settings are taller than the window";

    window->setFocus();
    wheelDownOver(brightness);
    ASSERT_TRUE(waitUntil([&] { return page->value() > 0; }));
    EXPECT_EQ(controller->config().dockBrightness, 70);

    brightness->setFocus();
    wheelDownOver(brightness);
    EXPECT_TRUE(waitUntil([&] { return controller->config().dockBrightness != 70; }));
}

TEST_F(EditorsTest, DockCommandsWaitForADock) {
    make();
    show(new SettingsView(*controller));
    EXPECT_FALSE(button(QStringLiteral("Refresh Dock"))->isEnabled());
    EXPECT_FALSE(button(QStringLiteral("Preview on Dock"))->isEnabled());

    window.reset();
    controller.reset();
    make(DockConfig(), true);
    show(new SettingsView(*controller));
    ASSERT_TRUE(button(QStringLiteral("Refresh Dock"))->isEnabled());
    EXPECT_TRUE(button(QStringLiteral("Preview on Dock"))->isEnabled());
    const qsizetype before = emulator->commandLog().size();
    QTest::mouseClick(button(QStringLiteral("Refresh Dock")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return emulator->commandLog().size() > before; }));
    EXPECT_EQ(emulator->commandLog().at(before).command, EmulatedDock::Command::dis);

    QTest::mouseClick(button(QStringLiteral("Preview on Dock")), Qt::LeftButton);
    EXPECT_TRUE(controller->screensaverRunning());
    QTest::mouseClick(button(QStringLiteral("Stop Preview")), Qt::LeftButton);
    EXPECT_FALSE(controller->screensaverRunning());
    emulator->unplug();
    ASSERT_TRUE(waitUntil([&] { return !button(QStringLiteral("Refresh Dock"))->isEnabled(); }));
}

// What is being edited shows on the dock: the window ends a screensaver and holds off the
// next one while it is shown.
TEST_F(EditorsTest, ScreensaverWaitsWhileTheWindowIsShownAndOpeningItEndsOne) {
    DockConfig config;
    config.screensaverEnabled = true;
    config.screensaverDelay = 1;
    config.screensaverAnimation = QStringLiteral("Sports Car");
    make(config, true);
    const auto idleFor = [&](double seconds) {
        clock.advance(seconds);
        controller->checkIdle();
    };
    idleFor(61);
    ASSERT_TRUE(controller->screensaverRunning());

    show(new MenuView(*controller));
    EXPECT_FALSE(controller->screensaverRunning());
    idleFor(600);
    EXPECT_FALSE(controller->screensaverRunning());

    window->hide();
    idleFor(30);
    EXPECT_FALSE(controller->screensaverRunning()); // the delay counts from the closing
    idleFor(31);
    EXPECT_TRUE(controller->screensaverRunning());
}

TEST_F(EditorsTest, SettingsWriteTheirFields) {
    permissions.granted = false;
    DockConfig config;
    config.screensaverAnimation = QStringLiteral("/somewhere/copy.gif");
    make(config);
    show(new SettingsView(*controller));

    // The brightness slider assigns on every step of 5.
    QSlider* brightness = sliderUnder(label(QStringLiteral("Dock screen brightness: 70%")));
    ASSERT_TRUE(brightness);
    QSignalSpy changes(controller.get(), &DockController::configChanged);
    brightness->setFocus();
    QTest::keyClick(brightness, Qt::Key_Right);
    QTest::keyClick(brightness, Qt::Key_Right);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(controller->config().dockBrightness, 80);
    EXPECT_TRUE(label(QStringLiteral("Dock screen brightness: 80%")));

    clickBox(find<QCheckBox>(
        [](QCheckBox* box) { return box->text().startsWith(u"Use the desktop’s"); }));
    EXPECT_FALSE(controller->config().nativeIndicators);
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Rotate button images")), QStringLiteral("270°")));
    EXPECT_EQ(controller->config().extraRotation, 270);
    EXPECT_TRUE(label(QStringLiteral("Knob step: 3% per click")));

    // The chosen animation is offered until a built-in one replaces it.
    EXPECT_EQ(menuTitles(dropdown(QStringLiteral("Animation"))),
              (QStringList{QStringLiteral("Sports Car"), QStringLiteral("Apple"),
                           QStringLiteral("Space Junk"), QStringLiteral("Your own"),
                           QStringLiteral("Your Animation")}));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Animation")), QStringLiteral("Apple")));
    EXPECT_EQ(controller->config().screensaverAnimation, u"Apple");
    EXPECT_EQ(menuTitles(dropdown(QStringLiteral("Animation"))).size(), 3);
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Playback")), QStringLiteral("Bounce")));
    EXPECT_EQ(controller->config().screensaverPlayback, PlaybackMode::bounce);
    QSlider* speed = sliderUnder(label(QStringLiteral("Speed: 1×")));
    ASSERT_TRUE(speed);
    speed->setFocus();
    QTest::keyClick(speed, Qt::Key_Right);
    EXPECT_EQ(controller->config().screensaverSpeed, 1.25);
    EXPECT_TRUE(label(QStringLiteral("Speed: 1.25×")));

    // Input access and the login item.
    EXPECT_TRUE(label(QStringLiteral("Input access is off")));
    QTest::mouseClick(button(QStringLiteral("Allow…")), Qt::LeftButton);
    EXPECT_EQ(permissions.helpOpened, 1);
    clickBox(button(QStringLiteral("Open Velloq when I log in")));
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_TRUE(QFileInfo::exists(Autostart::entryPath()));
    EXPECT_TRUE(button(QStringLiteral("Open Velloq when I log in"))->isChecked());
    controller->setLaunchAtLogin(false);
    EXPECT_FALSE(button(QStringLiteral("Open Velloq when I log in"))->isChecked());

    // A failure leaves the toggle showing the real state, with the note under it.
    const QString folder = QFileInfo(Autostart::entryPath()).absolutePath();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    clickBox(button(QStringLiteral("Open Velloq when I log in")));
    EXPECT_FALSE(button(QStringLiteral("Open Velloq when I log in"))->isChecked());
    EXPECT_TRUE(find<QLabel>([](QLabel* l) {
        return l->text().startsWith(u"Couldn’t change this: ") &&
               l->text().endsWith(u". Make sure ~/.config/autostart is writable.");
    }));
    QFile::remove(folder);
}

TEST_F(EditorsTest, AddedSnippetsAreNewSnippetsWithTheirOwnIds) {
    DockConfig config;
    config.snippets.clear();
    make(config);
    show(new SnippetsView(*controller));
    QTest::mouseClick(button(QStringLiteral("Add Snippet")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Add Snippet")), Qt::LeftButton);
    const QList<Snippet> snippets = controller->config().snippets;
    ASSERT_EQ(snippets.size(), 2);
    EXPECT_EQ(snippets[0].name, u"New snippet");
    EXPECT_EQ(snippets[1].name, u"New snippet");
    EXPECT_TRUE(snippets[0].text.isEmpty());
    EXPECT_NE(snippets[0].id, snippets[1].id);
    EXPECT_EQ(window->findChildren<QLineEdit*>().size(), 2);
}

TEST_F(EditorsTest, TypingInASnippetKeepsFocusAndDeletingItFreesItsButtons) {
    DockConfig config;
    const QUuid id = config.snippets.first().id;
    config.snippets << Snippet::make(QStringLiteral("Other"), QStringLiteral("2"));
    config.keys[0] = config.keys[7] = ButtonAction::snippet(id);
    make(config);
    show(new SnippetsView(*controller));

    auto* name = find<QLineEdit>([](QLineEdit* e) { return e->text() == u"Example"; });
    ASSERT_TRUE(name);
    QTest::mouseClick(name, Qt::LeftButton);
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClicks(name, QStringLiteral(" one"));
    EXPECT_EQ(controller->config().snippets[0].name, u"Example one");
    EXPECT_TRUE(name->hasFocus());
    auto* text = find<QPlainTextEdit>([](QPlainTextEdit*) { return true; });
    QTest::mouseClick(text->viewport(), Qt::LeftButton);
    QTest::keyClick(text, Qt::Key_End);
    QTest::keyClicks(text, QStringLiteral("!"));
    EXPECT_EQ(controller->config().snippets[0].text, u"Hello from Velloq!!");
    EXPECT_TRUE(text->hasFocus());

    // Two buttons paste it: deleting asks first and says so.
    auto* row = find<SnippetRow>([&](SnippetRow* r) { return r->id() == id; });
    QTest::mouseClick(row->findChild<QToolButton*>(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return row->deleteDialog() && row->deleteDialog()->isVisible(); }));
    EXPECT_EQ(controller->config().snippets.size(), 2);
    EXPECT_TRUE(row->deleteDialog()->text().contains(u"Example one"));
    EXPECT_TRUE(row->deleteDialog()->informativeText().startsWith(u"2 buttons paste it"));
    QAbstractButton* confirm = nullptr;
    for (QAbstractButton* b : row->deleteDialog()->buttons()) {
        if (b->text() == u"Delete Snippet")
            confirm = b;
    }
    ASSERT_TRUE(confirm);
    QTest::mouseClick(confirm, Qt::LeftButton);
    EXPECT_EQ(controller->config().snippets.size(), 1);
    EXPECT_EQ(controller->config().keys[0], ButtonAction::nothing());
    EXPECT_EQ(controller->config().keys[7], ButtonAction::nothing());
    EXPECT_FALSE(find<SnippetRow>([&](SnippetRow* r) { return r->id() == id; }));
    EXPECT_TRUE(find<QLineEdit>([](QLineEdit* e) { return e->text() == u"Other"; }));

    // One that no button pastes goes at once.
    row = find<SnippetRow>([](SnippetRow*) { return true; });
    ASSERT_TRUE(row);
    QTest::mouseClick(row->findChild<QToolButton*>(), Qt::LeftButton);
    EXPECT_TRUE(controller->config().snippets.isEmpty());
}

TEST_F(EditorsTest, AddSnippetShowsTheNewSnippetInTheTabsOneScrollAreaWithItsNameSelected) {
    DockConfig config;
    for (int i = 0; i < 8; ++i)
        config.snippets << Snippet::make(QStringLiteral("Snippet %1").arg(i), QStringLiteral("x"));
    make(config);
    controller->setTab(MenuTab::snippets);
    window = std::make_unique<MenuView>(*controller);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QWidget* content = static_cast<MenuView*>(window.get())->currentContent();
    EXPECT_TRUE(content->findChildren<QScrollArea*>().isEmpty()) << "one scroll area per tab";
    auto* scroll = qobject_cast<QScrollArea*>(content->parentWidget()->parentWidget());
    ASSERT_TRUE(scroll);
    ASSERT_TRUE(waitUntil([&] { return scroll->verticalScrollBar()->maximum() > 0; }))
        << "the list grows with its content";

    QTest::mouseClick(button(QStringLiteral("Add Snippet")), Qt::LeftButton);
    ASSERT_EQ(controller->config().snippets.size(), config.snippets.size() + 1);
    const QUuid id = controller->config().snippets.last().id;
    SnippetRow* row = find<SnippetRow>([&](SnippetRow* r) { return r->id() == id; });
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->nameField()->hasFocus());
    EXPECT_EQ(row->nameField()->selectedText(), u"New snippet");
    QWidget* viewport = scroll->viewport();
    EXPECT_TRUE(waitUntil([&] {
        return viewport->rect().contains(QRect(row->mapTo(viewport, QPoint()), row->size()));
    }));
    QTest::keyClicks(row->nameField(), QStringLiteral("Greeting"));
    EXPECT_EQ(controller->config().snippets.last().name, u"Greeting");
}
