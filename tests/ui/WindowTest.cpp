// The main window with real widgets on the session's X server: header, tabs, the dock
// preview and the keyboard.
#include "UiFixture.h"

#include "device/DeviceModel.h"
#include "device/FakeDiscovery.h"
#include "imaging/MediaWriters.h"
#include "ui/AnimatedImage.h"
#include "ui/DeviceMockView.h"
#include "ui/KeyEditor.h"
#include "ui/KeyFace.h"
#include "ui/KnobEditor.h"
#include "ui/SelectionEditor.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <cerrno>

using namespace velloq;
using namespace velloq::test;

namespace {

bool showsText(const QWidget& root, const QString& text) {
    const QList<QLabel*> labels = root.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
        return label->text() == text && label->isVisibleTo(&root);
    });
}

HidDeviceInfo supportedDock(const QString& node) {
    HidDeviceInfo info;
    info.vendorID = 0x0300;
    info.productID = 0x1002;
    info.usagePage = DockModels::kUsagePage;
    info.usage = DockModels::kUsage;
    info.maxOutputReportSize = 1024;
    info.node = node;
    return info;
}

} // namespace

class WindowTest : public UiTest {
protected:
    void SetUp() override {
        auto source = std::make_unique<FakeDiscovery>();
        discovery = source.get();
        make(std::move(source));
        controller->start();
    }

    DeviceMockView& preview() {
        auto* view = window->findChild<DeviceMockView*>();
        EXPECT_NE(view, nullptr);
        return *view;
    }

    FakeDiscovery* discovery = nullptr;
};

TEST_F(WindowTest, WithoutADockThePreviewIsShownAndSelectsWhatIsClicked) {
    MenuView& menu = openWindow();
    EXPECT_TRUE(showsText(menu, QStringLiteral("No dock connected")));
    EXPECT_FALSE(showsText(menu, QStringLiteral("Dock found, but Velloq may not open it")));
    QWidget* dot = nullptr;
    for (QWidget* child : menu.findChildren<QWidget*>()) {
        if (child->size() == QSize(8, 8))
            dot = child;
    }
    ASSERT_NE(dot, nullptr);
    const QColor grey = dot->grab().toImage().pixelColor(4, 4);
    EXPECT_LT(std::abs(grey.green() - grey.red()), 30) << "the dot is grey, not green";

    QTest::mouseClick(preview().element(Selection::key(2)), Qt::LeftButton);
    EXPECT_EQ(controller->selected(), Selection::key(2));
    auto* editor = menu.findChild<SelectionEditor*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_NE(qobject_cast<KeyEditor*>(editor->editor()), nullptr);

    QTest::mouseClick(preview().element(Selection::knob(1)), Qt::LeftButton);
    EXPECT_EQ(controller->selected(), Selection::knob(1));
    EXPECT_NE(qobject_cast<KnobEditor*>(editor->editor()), nullptr);

    QTest::mouseClick(preview().element(Selection::key(6)), Qt::LeftButton);
    EXPECT_EQ(controller->selected(), Selection::key(6));
    EXPECT_NE(qobject_cast<KeyEditor*>(editor->editor()), nullptr);

    // Made anew, the window shows the tab and the selection the controller keeps.
    controller->setTab(MenuTab::settings);
    openWindow();
    EXPECT_EQ(window->tabBar()->currentIndex(), 2);
    controller->setTab(MenuTab::buttons);
    EXPECT_EQ(window->tabBar()->currentIndex(), 0);
    EXPECT_EQ(qobject_cast<KeyEditor*>(window->findChild<SelectionEditor*>()->editor()) != nullptr,
              true);
}

TEST_F(WindowTest, HoverHelpNamesEveryElement) {
    openWindow();
    EXPECT_EQ(preview().element(Selection::key(0))->toolTip(), u"Screen button 1");
    EXPECT_EQ(preview().element(Selection::key(5))->toolTip(), u"Screen button 6");
    EXPECT_EQ(preview().element(Selection::key(6))->toolTip(), u"Round button 1");
    EXPECT_EQ(preview().element(Selection::key(8))->toolTip(), u"Round button 3");
    DockConfig config = controller->config();
    config.knobs = {KnobRole::volume, KnobRole::microphone, KnobRole::nothing};
    controller->setConfig(config);
    EXPECT_EQ(preview().element(Selection::knob(0))->toolTip(), u"Sound Volume");
    EXPECT_EQ(preview().element(Selection::knob(1))->toolTip(), u"Microphone Volume");
    EXPECT_EQ(preview().element(Selection::knob(2))->toolTip(), u"Nothing");
}

TEST_F(WindowTest, KeysMissingFromAShortListHaveNoFace) {
    openWindow();
    DockConfig config = controller->config();
    config.keys = {ButtonAction::function(ButtonFunction::copy), ButtonAction::nothing()};
    controller->setConfig(config);
    const auto face = [&](int index) {
        return preview().element(Selection::key(index))->findChild<KeyFace*>();
    };
    EXPECT_TRUE(face(0)->hasFace());
    EXPECT_EQ(face(0)->picture().symbol, ButtonFunction(ButtonFunction::copy).symbol());
    EXPECT_TRUE(face(1)->hasFace());
    for (int index = 2; index < 9; ++index)
        EXPECT_FALSE(face(index)->hasFace()) << index;
    // Still selectable and editable.
    QTest::mouseClick(preview().element(Selection::key(7)), Qt::LeftButton);
    EXPECT_EQ(controller->selected(), Selection::key(7));
}

TEST_F(WindowTest, AnAnimatedCustomImagePlaysInThePreview) {
    const QString gif = scratchDir() + QStringLiteral("/spin.gif");
    ASSERT_TRUE(writeGif(gif, 40, 40, {{Qt::red, 5}, {Qt::blue, 5}, {Qt::green, 5}}));
    openWindow();
    DockConfig config = controller->config();
    config.keys[3] = ButtonAction::function(ButtonFunction::paste);
    config.customIcons[3] = gif;
    controller->setConfig(config);
    auto* image = preview().element(Selection::key(3))->findChild<AnimatedImage*>();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->isVisible());
    ASSERT_NE(image->movie(), nullptr);
    EXPECT_EQ(image->movie()->frameCount(), 3);
    const int first = image->movie()->currentFrameNumber();
    EXPECT_TRUE(waitUntil([&] { return image->movie()->currentFrameNumber() != first; }));

    // It plays only while it can be seen: not in a closed window, nor on another tab.
    window->close();
    EXPECT_NE(image->movie()->state(), QMovie::Running);
    window->show();
    EXPECT_TRUE(waitUntil([&] { return image->movie()->state() == QMovie::Running; }));
    controller->setTab(MenuTab::snippets);
    EXPECT_NE(image->movie()->state(), QMovie::Running);
}

TEST_F(WindowTest, TypingASnippetRebuildsNoFaceAndRenamingItRebuildsOnlyItsOwn) {
    const QString image = scratchDir() + QStringLiteral("/face.png");
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(image));
    DockConfig config = controller->config();
    const Snippet snippet = Snippet::make(QStringLiteral("Sig"), QStringLiteral("Regards"));
    config.snippets = {snippet};
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.customIcons[0] = image;
    config.keys[1] = ButtonAction::snippet(snippet.id);
    controller->setConfig(config);
    openWindow();
    auto* imageFace = preview().element(Selection::key(0))->findChild<KeyFace*>();
    auto* snippetFace = preview().element(Selection::key(1))->findChild<KeyFace*>();
    const auto shownColour = [&] { return imageFace->picture().image.pixelColor(16, 16); };
    ASSERT_EQ(shownColour(), QColor(Qt::red));

    // The file changes behind the face's back: only a rebuilt face would show it.
    QImage blue(red);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(image));
    config.snippets[0].text = QStringLiteral("Kind regards");
    controller->setConfig(config);
    EXPECT_EQ(shownColour(), QColor(Qt::red));
    config.snippets[0].name = QStringLiteral("Signature");
    controller->setConfig(config);
    EXPECT_EQ(snippetFace->picture().caption, u"Signature");
    EXPECT_EQ(shownColour(), QColor(Qt::red));
}

TEST_F(WindowTest, ADockThatCannotBeOpenedIsNamedInTheHeaderUntilItGoesAway) {
    MenuView& menu = openWindow();
    const QString text = QStringLiteral("Dock found, but Velloq may not open it");
    discovery->openError = EACCES;
    discovery->attach(supportedDock(QStringLiteral("/dev/hidraw7")));
    EXPECT_EQ(controller->inaccessibleDockNode(), u"/dev/hidraw7");
    EXPECT_TRUE(showsText(menu, text));
    auto* help = menu.findChild<QPushButton*>(QStringLiteral("dockAccessHelp"));
    ASSERT_NE(help, nullptr);
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_EQ(permissions.helpOpened, 1);

    discovery->remove(QStringLiteral("/dev/hidraw7"));
    EXPECT_TRUE(controller->inaccessibleDockNode().isEmpty());
    EXPECT_FALSE(showsText(menu, text));

    // Once the rule is in place the dock connects and the note stays away.
    discovery->attach(supportedDock(QStringLiteral("/dev/hidraw7")));
    EXPECT_TRUE(showsText(menu, text));
    discovery->openError = 0;
    discovery->attach(supportedDock(QStringLiteral("/dev/hidraw8")));
    EXPECT_TRUE(controller->isConnected());
    EXPECT_TRUE(controller->inaccessibleDockNode().isEmpty());
    EXPECT_FALSE(showsText(menu, text));
    EXPECT_TRUE(showsText(menu, controller->deviceName()));
}

TEST_F(WindowTest, TabsFollowTheControllerAndTabReachesEveryControl) {
    MenuView& menu = openWindow();
    QTest::mouseClick(menu.tabBar(), Qt::LeftButton, {}, menu.tabBar()->tabRect(1).center());
    EXPECT_EQ(controller->tab(), MenuTab::snippets);
    controller->setTab(MenuTab::buttons);
    EXPECT_EQ(menu.tabBar()->currentIndex(), 0);

    QSet<QWidget*> reached;
    menu.tabBar()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return menu.tabBar()->hasFocus(); }));
    for (int step = 0; step < 80; ++step) {
        reached.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (int index = 0; index < 9; ++index)
        EXPECT_TRUE(reached.contains(preview().element(Selection::key(index)))) << index;
    for (int index = 0; index < 3; ++index)
        EXPECT_TRUE(reached.contains(preview().element(Selection::knob(index)))) << index;
    const QList<QPushButton*> buttons = menu.findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        if (button->isVisibleTo(&menu)) {
            EXPECT_TRUE(reached.contains(button)) << button->text().toStdString();
        }
    }

    const auto quit = std::find_if(buttons.begin(), buttons.end(),
                                   [](QPushButton* button) { return button->text() == u"Quit"; });
    ASSERT_NE(quit, buttons.end());
    EXPECT_EQ((*quit)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Space on a focused element selects it, as a click does.
    preview().element(Selection::knob(2))->setFocus();
    QTest::keyClick(preview().element(Selection::knob(2)), Qt::Key_Space);
    EXPECT_EQ(controller->selected(), Selection::knob(2));
}

TEST_F(WindowTest, EscapeClosesTheWindowAndTheControllerKeepsRunning) {
    MenuView& menu = openWindow();
    QTest::mouseClick(preview().element(Selection::key(4)), Qt::LeftButton);
    QTest::keyClick(preview().element(Selection::key(4)), Qt::Key_Escape);
    EXPECT_FALSE(menu.isVisible());
    discovery->attach(supportedDock(QStringLiteral("/dev/hidraw3")));
    EXPECT_TRUE(controller->isConnected());
}

TEST_F(WindowTest, TheWindowResizesFromItsDefaultSizeKeepsThePreviewCentredAndRemembersItsSize) {
    MenuView& menu = openWindow();
    EXPECT_EQ(menu.size(), QSize(MenuView::kWidth, MenuView::kHeight));
    EXPECT_EQ(menu.minimumSize(), QSize(MenuView::kWidth, MenuView::kHeight));
    EXPECT_FALSE(menu.maximumSize() == menu.minimumSize()) << "resizable";

    menu.resize(640, 760);
    ASSERT_TRUE(waitUntil([&] { return menu.size() == QSize(640, 760); }));
    QWidget* mock = menu.findChild<DeviceMockView*>();
    auto* editor = menu.findChild<SelectionEditor*>();
    ASSERT_TRUE(waitUntil([&] {
        const int centre = mock->mapTo(&menu, mock->rect().center()).x();
        return std::abs(centre - menu.width() / 2) <= 10 && editor->width() > 560;
    })) << "the preview stays centred and the editor takes the width";

    window.reset(); // remembered when the window goes
    EXPECT_EQ(MenuView::rememberedSize(), QSize(640, 760));
    EXPECT_EQ(openWindow().size(), QSize(640, 760));
    window->resize(MenuView::kWidth, MenuView::kHeight); // back to the default for the others
    window.reset();
    EXPECT_EQ(MenuView::rememberedSize(), QSize(MenuView::kWidth, MenuView::kHeight));
}
