// The button editor with "Several Actions" and "Toggle": real widgets driven by mouse and
// keyboard, read back from the controller.

#include "ui/EditorsFixture.h"

#include "ui/KeyEditor.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

using namespace velloq;
using namespace velloq::test;

namespace {

const ButtonAction kCopy = ButtonAction::function(ButtonFunction::copy);
const ButtonAction kPaste = ButtonAction::function(ButtonFunction::paste);

} // namespace

TEST_F(EditorsTest, MultiSeveralActionsStepsAreAddedEditedMovedAndRemoved) {
    DockConfig config;
    config.keys[0] = kCopy;
    make(config);
    show(new KeyEditor(*controller, 0));
    const auto steps = [&] { return controller->config().keys[0].sequenceSteps(); };
    const auto tool = [&](const QString& name) {
        return find<QToolButton>([&](QToolButton* b) { return b->accessibleName() == name; });
    };

    const QStringList kinds = menuTitles(dropdown(QStringLiteral("Action")));
    const qsizetype openPage = kinds.indexOf(QStringLiteral("Open Page"));
    ASSERT_GE(openPage, 0);
    EXPECT_EQ(kinds.mid(openPage + 1),
              (QStringList{QStringLiteral("Several Actions"), QStringLiteral("Toggle")}));

    // What the button did becomes the first step.
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Several Actions")));
    EXPECT_EQ(steps(), QList<ButtonAction>{kCopy});
    ASSERT_TRUE(dropdown(QStringLiteral("Step 1")));
    EXPECT_EQ(dropdown(QStringLiteral("Step 1"))->currentTitle(), u"Function");
    const QStringList stepKinds = menuTitles(dropdown(QStringLiteral("Step 1")));
    EXPECT_FALSE(stepKinds.contains(QStringLiteral("Several Actions")));
    EXPECT_FALSE(stepKinds.contains(QStringLiteral("Toggle")));
    EXPECT_EQ(stepKinds.last(), u"Wait");
    EXPECT_FALSE(tool(QStringLiteral("Remove Step 1"))->isEnabled()); // the last one stays

    // A new step takes the focus; made a wait, its milliseconds are typed.
    QTest::mouseClick(button(QStringLiteral("Add Step")), Qt::LeftButton);
    EXPECT_EQ(steps(), (QList<ButtonAction>{kCopy, ButtonAction::nothing()}));
    ASSERT_TRUE(dropdown(QStringLiteral("Step 2")));
    EXPECT_TRUE(dropdown(QStringLiteral("Step 2"))->hasFocus());
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Step 2")), QStringLiteral("Wait")));
    EXPECT_EQ(steps(), (QList<ButtonAction>{kCopy, ButtonAction::wait(1000)}));
    auto* ms = find<QSpinBox>([](QSpinBox*) { return true; });
    ASSERT_TRUE(ms);
    ms->setFocus();
    QTest::keyClick(ms, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ms, QStringLiteral("250"));
    EXPECT_EQ(steps(), (QList<ButtonAction>{kCopy, ButtonAction::wait(250)}));
    EXPECT_TRUE(ms->hasFocus());

    // Moved up, the wait comes first and the focus stays with it.
    QTest::mouseClick(tool(QStringLiteral("Move Step 2 Up")), Qt::LeftButton);
    EXPECT_EQ(steps(), (QList<ButtonAction>{ButtonAction::wait(250), kCopy}));
    EXPECT_EQ(dropdown(QStringLiteral("Step 1"))->currentTitle(), u"Wait");
    EXPECT_TRUE(dropdown(QStringLiteral("Step 1"))->hasFocus());

    // The step's own details edit it alone.
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Function")), QStringLiteral("Paste")));
    EXPECT_EQ(steps(), (QList<ButtonAction>{ButtonAction::wait(250), kPaste}));

    // Every row is reached with Tab: from the first step's kind to the second's remove button,
    // which Space presses.
    dropdown(QStringLiteral("Step 1"))->setFocus();
    QToolButton* removeSecond = tool(QStringLiteral("Remove Step 2"));
    for (int i = 0; i < 20 && !removeSecond->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(removeSecond->hasFocus());
    QTest::keyClick(removeSecond, Qt::Key_Space);
    EXPECT_EQ(steps(), QList<ButtonAction>{ButtonAction::wait(250)});
    EXPECT_FALSE(dropdown(QStringLiteral("Step 2")));

    // At twenty steps "Add Step" turns off.
    QList<ButtonAction> twenty(ButtonAction::kMaxSteps, kCopy);
    controller->setAction(ButtonAction::sequence(twenty), 0);
    ASSERT_TRUE(dropdown(QStringLiteral("Step 20")));
    EXPECT_FALSE(button(QStringLiteral("Add Step"))->isEnabled());
}

TEST_F(EditorsTest, MultiToggleSidesAndItsImageWhenOnAreEditedWithoutRunningAnything) {
    DockConfig config;
    config.keys[2] = kCopy;
    make(config);
    show(new KeyEditor(*controller, 2));
    const auto group = [&](const QString& title) {
        return find<QGroupBox>([&](QGroupBox* g) { return g->title() == title; });
    };
    // The kind menu of one side.
    const auto sideKind = [&](const QString& title) -> Dropdown* {
        QGroupBox* box = group(title);
        for (LabeledRow* row : box ? box->findChildren<LabeledRow*>() : QList<LabeledRow*>()) {
            if (row->isVisibleTo(box) && row->label()->text() == u"Action")
                return qobject_cast<Dropdown*>(row->content());
        }
        return nullptr;
    };

    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Toggle")));
    EXPECT_EQ(controller->config().keys[2], ButtonAction::toggle(kCopy, ButtonAction::nothing()));
    ASSERT_TRUE(sideKind(QStringLiteral("When off, pressing")));
    EXPECT_EQ(sideKind(QStringLiteral("When off, pressing"))->currentTitle(), u"Function");
    EXPECT_FALSE(menuTitles(sideKind(QStringLiteral("When on, pressing")))
                     .contains(QStringLiteral("Toggle")));
    EXPECT_TRUE(label(QStringLiteral("It is off now: the next press runs “When off”.")));
    EXPECT_TRUE(label(QStringLiteral("Icon when off: automatic")));
    EXPECT_TRUE(label(QStringLiteral("Icon when on: automatic")));

    // The "on" side: a website, typed.
    ASSERT_TRUE(
        pick(sideKind(QStringLiteral("When on, pressing")), QStringLiteral("Open Website")));
    auto* field =
        find<QLineEdit>([](QLineEdit* e) { return e->placeholderText() == u"example.com"; });
    ASSERT_TRUE(field);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClicks(field, QStringLiteral("velloq.org"));
    EXPECT_EQ(controller->config().keys[2],
              ButtonAction::toggle(kCopy, ButtonAction::url(QStringLiteral("velloq.org"))));
    EXPECT_TRUE(field->hasFocus());

    // Its state, turned from outside, shows; editing keeps it and runs nothing.
    ASSERT_TRUE(controller->setToggle(2, true));
    EXPECT_TRUE(label(QStringLiteral("It is on now: the next press runs “When on”.")));
    ASSERT_TRUE(pick(sideKind(QStringLiteral("When off, pressing")), QStringLiteral("Nothing")));
    EXPECT_TRUE(controller->isToggleOn(2));
    EXPECT_TRUE(urls.opened.isEmpty());

    // "Image when on…" asks for an image; one chosen is the face while on.
    QTest::mouseClick(button(QStringLiteral("Image when on…")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return panels.size() == 1; }));
    EXPECT_EQ(panels.first().prompt, u"Use Image");
    const QString png = scratchDir() + QStringLiteral("/on.png");
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(png));
    ASSERT_TRUE(controller->useOnIcon(2, png));
    EXPECT_TRUE(label(QStringLiteral("Icon when on: custom image")));
    EXPECT_TRUE(controller->config().onIcons[2]);
    EXPECT_FALSE(controller->config().customIcons[2]);

    // No longer a toggle: its state goes, and so do the toggle's rows.
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Function")));
    EXPECT_TRUE(controller->config().toggleStates.isEmpty());
    EXPECT_FALSE(group(QStringLiteral("When off, pressing")));
    EXPECT_FALSE(button(QStringLiteral("Image when on…")));
    EXPECT_TRUE(urls.opened.isEmpty());
}
