#include "ui/EditorsFixture.h"

#include "MediaWriters.h"
#include "ui/AppPicker.h"
#include "ui/KeyEditor.h"
#include "ui/KeyRecorder.h"
#include "ui/KnobEditor.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>

using namespace velloq;
using namespace velloq::test;

TEST_F(EditorsTest, ChoosingAKindStoresItsDefaultAction) {
    DockConfig config;
    const QUuid first = config.snippets.first().id;
    config.snippets << Snippet::make(QStringLiteral("Second"), QStringLiteral("2"));
    make(config);
    show(new KeyEditor(*controller, 1));
    EXPECT_TRUE(label(QStringLiteral("Screen button 2")));
    EXPECT_TRUE(label(QStringLiteral("Pick what this button should do.")));

    const QList<std::pair<QString, ButtonAction>> kinds{
        {QStringLiteral("Open App"), ButtonAction::app(QString())},
        {QStringLiteral("Function"), ButtonAction::function(ButtonFunction::copy)},
        {QStringLiteral("Paste Snippet"), ButtonAction::snippet(first)},
        {QStringLiteral("Keyboard Shortcut"), ButtonAction::keys(KeyCombo{})},
        {QStringLiteral("Run Script"), ButtonAction::shortcut(QString())},
        {QStringLiteral("Open Website"), ButtonAction::url(QString())},
        {QStringLiteral("Nothing"), ButtonAction::nothing()},
    };
    for (const auto& [title, expected] : kinds) {
        ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), title)) << title.toStdString();
        EXPECT_EQ(controller->config().keys[1], expected) << title.toStdString();
        EXPECT_EQ(dropdown(QStringLiteral("Action"))->currentTitle(), title);
    }

    // The function menu; choosing the current kind again keeps the function.
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Function")));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Function")), QStringLiteral("Paste")));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Function")));
    EXPECT_EQ(controller->config().keys[1], ButtonAction::function(ButtonFunction::paste));
    EXPECT_EQ(controller->config().keys[0], ButtonAction::nothing());
}

TEST_F(EditorsTest, PasteSnippetWithoutSnippetsStoresAFreshIdAndSaysWhy) {
    DockConfig config;
    config.snippets.clear();
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    make(config);
    show(new KeyEditor(*controller, 0));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Paste Snippet")));
    const std::optional<QUuid> id = controller->config().keys[0].snippetID();
    ASSERT_TRUE(id);
    EXPECT_FALSE(id->isNull());
    EXPECT_TRUE(label(QStringLiteral("Add a snippet in the Snippets tab first.")));
    EXPECT_FALSE(dropdown(QStringLiteral("Snippet")));

    // A snippet added elsewhere brings the menu; it shows "Choose…" for the unknown id.
    DockConfig next = controller->config();
    next.snippets << Snippet::make(QStringLiteral("Greeting"), QStringLiteral("Hi"));
    controller->setConfig(next);
    ASSERT_TRUE(dropdown(QStringLiteral("Snippet")));
    EXPECT_EQ(dropdown(QStringLiteral("Snippet"))->currentTitle(), u"Choose…");
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Snippet")), QStringLiteral("Greeting")));
    EXPECT_EQ(controller->config().keys[0], ButtonAction::snippet(next.snippets.first().id));
}

TEST_F(EditorsTest, IconRowOnlyForScreenButtonsWithAnAction) {
    const QString gif = scratchDir() + QStringLiteral("/two-frames.gif");
    ASSERT_TRUE(writeGifImages(
        gif, {QImage(8, 8, QImage::Format_RGB32), QImage(8, 8, QImage::Format_RGB32)}, 10));
    DockConfig config;
    config.keys[6] = ButtonAction::function(ButtonFunction::copy);
    config.customIcons[6] = gif;
    make(config);
    show(new KeyEditor(*controller, 6));
    EXPECT_TRUE(label(QStringLiteral("Round button 1")));
    EXPECT_FALSE(button(QStringLiteral("Choose Image…")));

    show(new KeyEditor(*controller, 2));
    EXPECT_FALSE(button(QStringLiteral("Choose Image…"))); // "Nothing"
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Function")));
    EXPECT_TRUE(label(QStringLiteral("Icon: automatic")));
    EXPECT_FALSE(button(QStringLiteral("Use Automatic")));
    QTest::mouseClick(button(QStringLiteral("Choose Image…")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return panels.size() == 1; }));
    EXPECT_EQ(panels.first().prompt, u"Use Image");

    ASSERT_TRUE(controller->useCustomIcon(2, gif));
    EXPECT_TRUE(label(QStringLiteral("Icon: animated GIF")));
    QTest::mouseClick(button(QStringLiteral("Use Automatic")), Qt::LeftButton);
    EXPECT_FALSE(controller->config().customIcons[2]);
    EXPECT_TRUE(label(QStringLiteral("Icon: automatic")));
}

TEST_F(EditorsTest, TypingAnAddressKeepsTheCursorAndFocus) {
    make();
    show(new KeyEditor(*controller, 3));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Open Website")));
    auto* field =
        find<QLineEdit>([](QLineEdit* e) { return e->placeholderText() == u"example.com"; });
    ASSERT_TRUE(field);
    // Tab goes from the kind to the details built after it, then to the image buttons.
    dropdown(QStringLiteral("Action"))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button(QStringLiteral("Choose Image…")));
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClicks(field, QStringLiteral("velloq.org"));
    EXPECT_EQ(controller->config().keys[3], ButtonAction::url(QStringLiteral("velloq.org")));
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClicks(field, QStringLiteral("w."));
    EXPECT_EQ(controller->config().keys[3], ButtonAction::url(QStringLiteral("w.velloq.org")));
    EXPECT_EQ(field->cursorPosition(), 2);
    EXPECT_TRUE(field->hasFocus());

    // The shortcut field is the same; its menu offers the scripts or says there are none.
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Run Script")));
    EXPECT_EQ(menuTitles(button(QStringLiteral("Choose"))),
              (QStringList{QStringLiteral("No shortcuts found"), QStringLiteral("Refresh List")}));
}

TEST_F(EditorsTest, RecorderStopsRecordingWhenItLeavesTheScreen) {
    make();
    show(new KeyEditor(*controller, 4));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Keyboard Shortcut")));
    EXPECT_TRUE(label(QStringLiteral("No shortcut yet")));
    QTest::mouseClick(button(QStringLiteral("Record Shortcut")), Qt::LeftButton);
    EXPECT_EQ(controller->recordingKey(), 4);
    EXPECT_TRUE(label(QStringLiteral("Press a shortcut… (Esc cancels)")));
    QTest::mouseClick(button(QStringLiteral("Cancel")), Qt::LeftButton);
    EXPECT_FALSE(controller->recordingKey());

    QTest::mouseClick(button(QStringLiteral("Record Shortcut")), Qt::LeftButton);
    window->hide();
    EXPECT_FALSE(controller->recordingKey());
    window->show();

    // Replaced by another selection's editor while recording.
    QTest::mouseClick(button(QStringLiteral("Record Shortcut")), Qt::LeftButton);
    EXPECT_EQ(controller->recordingKey(), 4);
    delete find<KeyEditor>([](KeyEditor*) { return true; });
    EXPECT_FALSE(controller->recordingKey());
    EXPECT_EQ(controller->config().keys[4], ButtonAction::keys(KeyCombo{}));
}

TEST_F(EditorsTest, AppMenuFillsInWhenTheListsArrive) {
    QDir().mkpath(appsDir());
    QFile entry(appsDir() + QStringLiteral("/idler.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Idle & Co\nExec=velloq-test-idler\n");
    entry.close();
    make();
    show(new KeyEditor(*controller, 5));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Open App")));
    EXPECT_TRUE(label(QStringLiteral("No app chosen yet")));

    ASSERT_TRUE(waitUntil([&] { return controller->installedAppsLoaded(); }));
    // "&" is the app's, not a shortcut marker.
    ASSERT_TRUE(pick(button(QStringLiteral("Choose App")), QStringLiteral("Idle && Co")));
    EXPECT_EQ(controller->config().keys[5], ButtonAction::app(entry.fileName()));
    EXPECT_TRUE(label(QStringLiteral("Idle & Co")));
    ASSERT_TRUE(pick(button(QStringLiteral("Choose App")), QStringLiteral("Other…")));
    ASSERT_TRUE(waitUntil([&] { return panels.size() == 1; }));
    EXPECT_EQ(panels.first().message, u"Choose an App");
}

TEST_F(EditorsTest, KnobEditorStoresTheRoleAndExplainsIt) {
    make();
    show(new KnobEditor(*controller, 2));
    EXPECT_TRUE(label(QStringLiteral("Small right knob")));
    EXPECT_TRUE(label(
        QStringLiteral("Turn to adjust. Press for full brightness (press again to go back).")));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Controls")), QStringLiteral("Sound Volume")));
    EXPECT_EQ(controller->config().knobs[2], KnobRole::volume);
    EXPECT_TRUE(label(QStringLiteral("Turn to adjust. Press to mute / unmute sound.")));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Controls")), QStringLiteral("Nothing")));
    EXPECT_EQ(controller->config().knobs[2], KnobRole::nothing);
    EXPECT_FALSE(find<QLabel>([](QLabel* l) { return l->text().startsWith(u"Turn"); }));
}

TEST_F(EditorsTest, ScriptAndAddressEditorsWarnAboutWhatCannotWorkAndShowTheFolder) {
    make();
    const QString folder = dataDir() + QStringLiteral("/Shortcuts");
    QDir().mkpath(folder);
    QFile script(folder + QStringLiteral("/backup"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    show(new KeyEditor(*controller, 2));
    auto warning = [&]() -> QString {
        auto* label =
            find<QLabel>([](QLabel* l) { return l->objectName() == QStringLiteral("warning"); });
        return label ? label->text() : QString();
    };
    auto type = [&](const QString& text) {
        QLineEdit* field = find<QLineEdit>([](QLineEdit*) { return true; });
        ASSERT_TRUE(field);
        field->clear();
        QTest::keyClicks(field, text);
    };

    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Run Script")));
    EXPECT_TRUE(find<QLabel>([&](QLabel* l) {
        return l->text() == QStringLiteral("Scripts are the executable files in ") + folder;
    }));
    QTest::mouseClick(button(QStringLiteral("Open Folder")), Qt::LeftButton);
    EXPECT_EQ(urls.opened, QList<QUrl>{QUrl::fromLocalFile(folder)});

    type(QStringLiteral("nope"));
    EXPECT_EQ(warning(), u"There is no executable script named “nope” in the folder.");
    type(QStringLiteral("backup"));
    EXPECT_TRUE(waitUntil([&] { return warning().isEmpty(); })); // once the listing is in

    ASSERT_TRUE(pick(dropdown(QStringLiteral("Action")), QStringLiteral("Open Website")));
    type(QStringLiteral("debian org"));
    EXPECT_EQ(warning(), u"“debian org” is not a web address.");
    type(QStringLiteral("debian.org"));
    EXPECT_TRUE(warning().isEmpty());
}
