// The dropdown: its title, the menu's headings and separators, the checked item under the
// pointer, and the choice handed to its owner.
#include "ui/Dropdown.h"
#include "support/TestEnv.h"
#include "ui/LabeledRow.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace velloq;
using namespace velloq::test;

namespace {

// The menu's entries in order, as shown: "-" for a separator, "#title" for a heading
// (disabled), the title for an item, with "*" after a checked one.
QStringList entries(const QMenu& menu) {
    QStringList out;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator())
            out << QStringLiteral("-");
        else if (!action->isEnabled())
            out << QLatin1Char('#') + action->iconText();
        else
            out << action->iconText() + (action->isChecked() ? QStringLiteral("*") : QString());
    }
    return out;
}

class DropdownTest : public ::testing::Test {
protected:
    void SetUp() override {
        row = std::make_unique<LabeledRow>(QStringLiteral("Pick"), dropdown);
        row->resize(300, 40);
        row->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(row.get()));
        QCursor::setPos(QApplication::primaryScreen()->geometry().center());
    }
    void TearDown() override {
        if (row && dropdown->menu())
            dropdown->menu()->close();
    }

    QMenu& clickOpen() {
        QTest::mouseClick(dropdown, Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return dropdown->menu() && dropdown->menu()->isVisible(); }));
        return *dropdown->menu();
    }

    Dropdown* dropdown = new Dropdown;
    std::unique_ptr<LabeledRow> row;
};

} // namespace

TEST_F(DropdownTest, ASelectionMatchingNoOptionShowsChooseAndChecksNothing) {
    dropdown->setOptions({DropdownOption::of(QStringLiteral("One"), 1),
                          DropdownOption::of(QStringLiteral("Two"), 2)});
    dropdown->setSelection(7);
    EXPECT_EQ(dropdown->currentTitle(), u"Choose…");
    EXPECT_EQ(dropdown->accessibleName(), u"Choose…");
    EXPECT_EQ(dropdown->accessibleDescription(), u"Opens a menu of choices");
    EXPECT_EQ(entries(clickOpen()), QStringList({"One", "Two"}));
}

TEST_F(DropdownTest, SectionsGiveHeadingsWithSeparatorsBetweenAndTheCheckedItemUnderThePointer) {
    QVariant chosen;
    dropdown->setOptions({DropdownOption::of(QStringLiteral("a1"), 1, QStringLiteral("A")),
                          DropdownOption::of(QStringLiteral("a2"), 2, QStringLiteral("A")),
                          DropdownOption::of(QStringLiteral("b1"), 3, QStringLiteral("B"))});
    dropdown->setSelection(2);
    dropdown->setOnSelect([&](const QVariant& value) { chosen = value; });
    EXPECT_EQ(dropdown->currentTitle(), u"a2");
    EXPECT_EQ(row->label()->buddy(), dropdown);

    QMenu& menu = clickOpen();
    EXPECT_EQ(entries(menu), QStringList({"#A", "a1", "a2*", "-", "#B", "b1"}));
    const QRect checked = menu.actionGeometry(menu.actions()[2]).translated(menu.pos());
    EXPECT_TRUE(checked.adjusted(-2, -2, 2, 2).contains(QCursor::pos()))
        << checked.x() << "," << checked.y() << " vs " << QCursor::pos().x() << ","
        << QCursor::pos().y();

    menu.actions()[5]->trigger();
    EXPECT_TRUE(waitUntil([&] { return chosen == QVariant(3); }));
    EXPECT_EQ(dropdown->currentTitle(), u"a2") << "the owner stores the choice, not the control";
}

TEST_F(DropdownTest, AFirstOptionWithASectionGetsNoSeparatorAboveAndUnsectionedOnesNoHeading) {
    dropdown->setOptions({DropdownOption::of(QStringLiteral("x"), 1, QStringLiteral("X")),
                          DropdownOption::of(QStringLiteral("plain"), 2),
                          DropdownOption::of(QStringLiteral("y & z"), 3, QStringLiteral("Y & Z"))});
    dropdown->setSelection(1);
    EXPECT_EQ(entries(clickOpen()), QStringList({"#X", "x*", "plain", "-", "#Y & Z", "y & z"}));
}

TEST_F(DropdownTest, AnOwnerMayRebuildItsViewWhenAChoiceIsMade) {
    dropdown->setOptions({DropdownOption::of(QStringLiteral("One"), 1),
                          DropdownOption::of(QStringLiteral("Two"), 2)});
    dropdown->setSelection(1);
    QVariant chosen;
    dropdown->setOnSelect([&](const QVariant& value) {
        chosen = value;
        row.reset(); // as an editor does when the configuration changes
    });
    QMenu& menu = clickOpen();
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(menu.actions()[1]).center());
    EXPECT_TRUE(waitUntil([&] { return chosen == QVariant(2); }));
    EXPECT_EQ(row, nullptr);
}

TEST_F(DropdownTest, AnAmpersandInATitleIsShownLiterallyAndTakesNoMnemonic) {
    dropdown->setOptions({DropdownOption::of(QStringLiteral("R&D"), 1),
                          DropdownOption::of(QStringLiteral("Screenshot & Recording Tools"), 2)});
    dropdown->setSelection(1);
    row->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(row.get()));
    EXPECT_EQ(dropdown->accessibleName(), u"R&D");
    EXPECT_TRUE(dropdown->shortcut().isEmpty());
    // A mnemonic would press the control at once and open its menu a moment later.
    QTest::keyClick(row.get(), Qt::Key_D, Qt::AltModifier);
    EXPECT_FALSE(dropdown->isDown()) << "Alt+D";
    dropdown->setSelection(2);
    EXPECT_TRUE(dropdown->shortcut().isEmpty());
    QTest::keyClick(row.get(), Qt::Key_Space, Qt::AltModifier);
    EXPECT_FALSE(dropdown->isDown()) << "Alt+Space";
    EXPECT_EQ(dropdown->menu(), nullptr);
}
