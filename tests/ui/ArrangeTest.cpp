// Rearranging buttons in the real window: drags and drops in the dock preview, the clipboard's
// button, and undo/redo of window changes down to the saved file's bytes.

#include "ui/EditorsFixture.h"

#include "support/Log.h"
#include "ui/DeviceMockView.h"
#include "ui/KeyDrag.h"
#include "ui/KeyFace.h"
#include "ui/MenuView.h"
#include "ui/PreviewRings.h"

#include <QClipboard>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTabBar>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace velloq;
using namespace velloq::test;
using Command = EmulatedDock::Command;

namespace {

class ArrangeTest : public EditorsTest {
protected:
    void open(const DockConfig& config, bool dock = false) {
        make(config, dock);
        menu = show(new MenuView(*controller));
        preview = window->findChild<DeviceMockView*>();
        ASSERT_NE(preview, nullptr);
    }

    QString configPath() const { return dataDir() + QStringLiteral("/config.json"); }
    QByteArray savedBytes() const {
        controller->flushSave();
        QFile file(configPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    // Drags `data` over `target` and drops it there, as a drag session delivers it.
    bool drop(QMimeData* data, const Selection& target) {
        std::unique_ptr<QMimeData> owned(data);
        const QPoint at = preview->element(target)->geometry().center();
        QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(preview, &enter);
        QDragMoveEvent move(at, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(preview, &move);
        if (!move.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(preview, &dropped);
        return dropped.isAccepted();
    }
    static QMimeData* fileData(const QString& path) {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        return data;
    }
    QString writeImage(const QString& name, QColor color) const {
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(color);
        const QString path = scratchDir() + u'/' + name;
        EXPECT_TRUE(image.save(path));
        return path;
    }
    void keys(const QKeySequence& sequence) {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : menu;
        QTest::keySequence(focus, sequence);
    }
    static QByteArray bytesOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    MenuView* menu = nullptr;
    DeviceMockView* preview = nullptr;
};

} // namespace

TEST_F(ArrangeTest, DraggingKeyOntoKeySwapsThemAndSendsTwoFaces) {
    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[4] = ButtonAction::function(ButtonFunction::paste);
    config.keys[7] = ButtonAction::function(ButtonFunction::lockScreen);
    open(config, true);
    const QString image = writeImage(QStringLiteral("red.png"), Qt::red);
    ASSERT_TRUE(controller->useCustomIcon(0, image));
    const std::optional<QString> copied = controller->currentCustomIcons()[0];
    // The image's refresh comes a quarter second after the change.
    ASSERT_TRUE(waitUntil([&] { return dockShowsTheConfig(); }));
    emulator->clearRecords();
    const QByteArray before = savedBytes();

    ASSERT_TRUE(drop(KeyDrag::elementData(Selection::key(0)), Selection::key(4)));
    EXPECT_EQ(controller->currentKeys()[4], config.keys[0]);
    EXPECT_EQ(controller->currentKeys()[0], config.keys[4]);
    EXPECT_EQ(controller->currentCustomIcons()[4], copied);
    EXPECT_EQ(controller->currentCustomIcons()[0], std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return dockShowsTheConfig(); }));
    EXPECT_EQ(emulator->count(Command::stp), 1);
    EXPECT_EQ(emulator->count(Command::bat), 2);
    EXPECT_EQ(emulator->count(Command::cleKey), 0);

    // A screen key and a round key trade actions only; knobs trade roles.
    ASSERT_TRUE(drop(KeyDrag::elementData(Selection::key(7)), Selection::key(4)));
    EXPECT_EQ(controller->currentKeys()[4], config.keys[7]);
    EXPECT_EQ(controller->currentKeys()[7], config.keys[0]);
    EXPECT_EQ(controller->currentCustomIcons()[4], copied);
    EXPECT_FALSE(drop(KeyDrag::elementData(Selection::key(7)), Selection::knob(0)));
    ASSERT_TRUE(drop(KeyDrag::elementData(Selection::knob(0)), Selection::knob(2)));
    EXPECT_EQ(controller->config().knobs[0], config.knobs[2]);
    EXPECT_EQ(controller->config().knobs[2], config.knobs[0]);

    // Three steps back is the file as it was, byte for byte; redo brings the swap back.
    controller->undo();
    controller->undo();
    const QByteArray swapped = savedBytes();
    keys(QKeySequence::Undo);
    EXPECT_EQ(savedBytes(), before);
    keys(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(savedBytes(), swapped);
    EXPECT_EQ(controller->currentCustomIcons()[4], copied);
}

TEST_F(ArrangeTest, DraggingStartsWithTheKeysFaceAndEscapeLikeCancelChangesNothing) {
    DockConfig config;
    config.keys[1] = ButtonAction::function(ButtonFunction::copy);
    open(config);
    QWidget* key = preview->element(Selection::key(1));
    QPixmap shown;
    QTimer::singleShot(0, preview, [&] {
        if (auto* drag = key->findChild<QDrag*>()) {
            shown = drag->pixmap();
            QDrag::cancel();
        }
    });
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), key->mapToGlobal(QPointF(40, 40)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(key, &move);
    EXPECT_EQ(shown.size(), key->findChild<KeyFace*>()->size() * key->devicePixelRatio());
    EXPECT_EQ(controller->config(), config);
    EXPECT_FALSE(controller->canUndo());
}

TEST_F(ArrangeTest, AfterADragOnlyTheSelectedButtonShowsFocusNotTheSource) {
    DockConfig config;
    config.keys[1] = ButtonAction::function(ButtonFunction::copy);
    open(config);
    // Drags `key` (which the press focuses); `during` runs in the drag, which then ends.
    const auto dragFrom = [&](const Selection& key, const std::function<void()>& during) {
        QWidget* source = preview->element(key);
        QTest::mousePress(source, Qt::LeftButton, {}, QPoint(10, 10));
        QTimer::singleShot(0, preview, [&] {
            during();
            QDrag::cancel();
        });
        QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), source->mapToGlobal(QPointF(40, 40)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(source, &move);
        QTest::mouseRelease(source, Qt::LeftButton, {}, QPoint(40, 40));
    };

    bool dropped = false;
    dragFrom(Selection::key(1),
             [&] { dropped = drop(KeyDrag::elementData(Selection::key(1)), Selection::key(4)); });
    ASSERT_TRUE(dropped);
    EXPECT_EQ(controller->selected(), Selection::key(4));
    EXPECT_TRUE(waitUntil([&] { return preview->element(Selection::key(4))->hasFocus(); }));
    EXPECT_EQ(ringed(*preview), QList{Selection::key(4)});

    // A drag given up leaves the focus with the selection too.
    dragFrom(Selection::key(2), [] {});
    EXPECT_EQ(controller->selected(), Selection::key(4));
    EXPECT_TRUE(waitUntil([&] { return preview->element(Selection::key(4))->hasFocus(); }));
    EXPECT_EQ(ringed(*preview), QList{Selection::key(4)});
}

TEST_F(ArrangeTest, DroppedImageBecomesTheKeysImageAndOtherFilesAreRefused) {
    open(DockConfig());
    const QString png = writeImage(QStringLiteral("blue.png"), Qt::blue);
    ASSERT_TRUE(drop(fileData(png), Selection::key(2)));
    const std::optional<QString> icon = controller->currentCustomIcons()[2];
    ASSERT_TRUE(icon);
    EXPECT_TRUE(icon->startsWith(dataDir() + QStringLiteral("/CustomIcons/")));
    EXPECT_EQ(bytesOf(*icon), bytesOf(png));
    EXPECT_TRUE(preview->note().isEmpty());

    const DockConfig now = controller->config();
    const QString text = scratchDir() + QStringLiteral("/notes.png");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture\n");
    file.close();
    drop(fileData(text), Selection::key(3));
    EXPECT_EQ(controller->config(), now);
    EXPECT_FALSE(preview->note().isEmpty());
    EXPECT_FALSE(drop(fileData(png), Selection::key(7))); // round keys show no image
}

// Velloq never deletes the image copies it made: a copied button may still name one that no
// step of the history does.
TEST_F(ArrangeTest, UndoKeepsTheImageCopiesACopiedButtonPastesFrom) {
    open(DockConfig());
    panelAnswer = [this] { return writeImage(QStringLiteral("red.png"), Qt::red); };
    const auto chooseImageAndCopy = [&](int key) {
        controller->setSelected(Selection::key(key));
        preview->element(Selection::key(key))->setFocus();
        controller->chooseCustomIcon(key);
        EXPECT_TRUE(waitUntil([&] { return controller->currentCustomIcons()[key].has_value(); }));
        keys(QKeySequence::Copy);
        keys(QKeySequence::Undo);
        EXPECT_EQ(controller->currentCustomIcons()[key], std::nullopt);
    };
    const auto pasteOn = [&](int key) {
        controller->setSelected(Selection::key(key));
        keys(QKeySequence::Paste);
        const std::optional<QString> pasted = controller->currentCustomIcons()[key];
        EXPECT_TRUE(pasted && QFile::exists(*pasted)) << "paste on key " << key;
    };

    // Choose, copy, undo, change something else, paste.
    chooseImageAndCopy(0);
    DockConfig changed = controller->config();
    changed.showHUD = !changed.showHUD;
    controller->setConfig(changed);
    pasteOn(3);

    // Choose, copy, undo, paste, paste.
    chooseImageAndCopy(1);
    pasteOn(4);
    pasteOn(5);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(QDir(dataDir() + QStringLiteral("/CustomIcons")).entryList(QDir::Files).size(), 5);
}

TEST_F(ArrangeTest, CopiedButtonPastesOnAnotherPageWithItsOwnImage) {
    DockConfig config;
    config.keys[1] = ButtonAction::url(QStringLiteral("https://example.org"));
    config.pages = {Page::make(QStringLiteral("Two"))};
    open(config);
    ASSERT_TRUE(controller->useCustomIcon(1, writeImage(QStringLiteral("green.png"), Qt::green)));
    const QString original = *controller->currentCustomIcons()[1];

    controller->setSelected(Selection::key(1));
    preview->element(Selection::key(1))->setFocus();
    keys(QKeySequence::Copy);
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(clip->hasFormat(QString::fromLatin1(KeyDrag::kButtonMime)));
    EXPECT_TRUE(clip->text().contains(QStringLiteral("example.org")));

    const QUuid two = config.pages[0].id;
    controller->setCurrentPage(two);
    controller->setSelected(Selection::key(5));
    const QByteArray before = savedBytes();
    keys(QKeySequence::Paste);
    EXPECT_EQ(controller->currentKeys()[5], config.keys[1]);
    const std::optional<QString> pasted = controller->currentCustomIcons()[5];
    ASSERT_TRUE(pasted);
    EXPECT_NE(*pasted, original);
    EXPECT_EQ(bytesOf(*pasted), bytesOf(original));
    const QByteArray after = savedBytes();

    // Removing the original's image leaves the copy whole.
    controller->setCurrentPage(QUuid());
    controller->clearCustomIcon(1);
    ASSERT_TRUE(QFile::remove(original));
    EXPECT_TRUE(QFile::exists(*pasted));
    EXPECT_EQ(controller->config().pages[0].customIcons[5], pasted);

    keys(QKeySequence::Undo); // the removal
    keys(QKeySequence::Undo); // the paste
    EXPECT_EQ(savedBytes(), before);
    keys(QKeySequence::Redo);
    EXPECT_EQ(savedBytes(), after);

    // Text that is an action pastes the action; other text changes nothing.
    controller->setCurrentPage(two);
    controller->setSelected(Selection::key(2));
    QGuiApplication::clipboard()->setText(QStringLiteral("{\"nothing\": {}} but more"));
    const DockConfig now = controller->config();
    keys(QKeySequence::Paste);
    EXPECT_EQ(controller->config(), now);
    auto* data = KeyDrag::buttonData({ButtonAction::function(ButtonFunction::cut), std::nullopt});
    QGuiApplication::clipboard()->setText(data->text());
    delete data;
    keys(QKeySequence::Paste);
    EXPECT_EQ(controller->currentKeys()[2], ButtonAction::function(ButtonFunction::cut));
}

TEST_F(ArrangeTest, UndoRestoresADeletedPageAndTypingIsOneStepPerPause) {
    DockConfig config;
    config.pages = {Page::make(QStringLiteral("Media"))};
    config.keys[3] = ButtonAction::page(config.pages[0].id);
    config.snippets = {Snippet::make(QStringLiteral("Hi"), QStringLiteral("Hello"))};
    open(config);
    const QByteArray before = savedBytes();
    controller->deletePage(config.pages[0].id);
    const QByteArray deleted = savedBytes();
    keys(QKeySequence::Undo);
    EXPECT_EQ(savedBytes(), before);
    keys(QKeySequence::Redo);
    EXPECT_EQ(savedBytes(), deleted);
    keys(QKeySequence::Undo);
    EXPECT_FALSE(controller->canUndo());

    controller->setTab(MenuTab::snippets);
    QLineEdit* name = find<QLineEdit>([](QLineEdit* edit) { return edit->text() == "Hi"; });
    ASSERT_NE(name, nullptr);
    name->setFocus();
    name->end(false);
    QTest::keyClicks(name, QStringLiteral("abcdefghijklmnopqrst"));
    EXPECT_EQ(controller->config().snippets[0].name, QStringLiteral("Hiabcdefghijklmnopqrst"));
    // Undo outside the field: the window's history, where the typing is one step.
    QTest::keySequence(menu->tabBar(), QKeySequence::Undo);
    EXPECT_EQ(controller->config().snippets[0].name, QStringLiteral("Hi"));
    EXPECT_EQ(name->text(), QStringLiteral("Hi"));
    EXPECT_FALSE(controller->canUndo());
    EXPECT_EQ(savedBytes(), before);

    // A pause makes a new step.
    name->end(false);
    QTest::keyClicks(name, QStringLiteral("ab"));
    clock.advance(2);
    QTest::keyClicks(name, QStringLiteral("cd"));
    QTest::keySequence(menu->tabBar(), QKeySequence::Undo);
    EXPECT_EQ(controller->config().snippets[0].name, QStringLiteral("Hiab"));
}

TEST_F(ArrangeTest, UndoInATextFieldUndoesItsTypingAndLeavesTheWindowHistoryAlone) {
    DockConfig config;
    config.keys[0] = ButtonAction::url(QString());
    open(config);
    DockConfig rotated = controller->config();
    rotated.extraRotation = 90;
    controller->setConfig(rotated); // a window change made a while ago
    clock.advance(60);
    QLineEdit* address =
        find<QLineEdit>([](QLineEdit* edit) { return edit->placeholderText() == "example.com"; });
    ASSERT_NE(address, nullptr);
    address->setFocus();
    QTest::keyClicks(address, QStringLiteral("debian.org"));
    EXPECT_EQ(controller->currentKeys()[0], ButtonAction::url(QStringLiteral("debian.org")));

    QTest::keySequence(address, QKeySequence::Undo);
    EXPECT_EQ(address->text(), QString());
    EXPECT_EQ(controller->currentKeys()[0], ButtonAction::url(QString()));
    QTest::keySequence(address, QKeySequence::Undo); // the field has nothing more to undo
    EXPECT_EQ(controller->config().extraRotation, 90);
    QTest::keyClick(address, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(address->text(), QStringLiteral("debian.org"));
    EXPECT_EQ(controller->currentKeys()[0], ButtonAction::url(QStringLiteral("debian.org")));
    EXPECT_EQ(controller->config().extraRotation, 90);

    // Elsewhere in the window, the window's history.
    preview->element(Selection::key(0))->setFocus();
    keys(QKeySequence::Undo);
    EXPECT_EQ(controller->currentKeys()[0], ButtonAction::url(QString()));
    keys(QKeySequence::Undo);
    EXPECT_EQ(controller->config().extraRotation, 0);
}

TEST_F(ArrangeTest, HistoryKeepsAHundredSteps) {
    open(DockConfig());
    for (int step = 1; step <= 120; ++step) {
        DockConfig next = controller->config();
        next.dockBrightness = step % 2 ? 10 : 20;
        next.knobStep = step;
        controller->setConfig(next);
        clock.advance(2);
    }
    int undone = 0;
    while (controller->canUndo()) {
        controller->undo();
        ++undone;
    }
    EXPECT_EQ(undone, EditHistory::kMaxSteps);
    EXPECT_EQ(controller->config().knobStep, 20);
}

TEST_F(ArrangeTest, PasteThatCannotBeCarriedOutChangesNothingAndSaysWhy) {
    open(DockConfig());
    const DockConfig before = controller->config();
    preview->element(Selection::key(1))->setFocus();
    const auto refused = [&](const char* what, const QString& saying) {
        keys(QKeySequence::Paste);
        EXPECT_EQ(controller->config(), before) << what;
        EXPECT_TRUE(preview->note().contains(saying))
            << what << ": " << preview->note().toStdString();
    };

    QGuiApplication::clipboard()->setText(QStringLiteral("just words"));
    controller->setSelected(Selection::key(1));
    refused("text that is no button", QStringLiteral("no button"));

    const QString image = writeImage(QStringLiteral("gone.png"), Qt::yellow);
    QGuiApplication::clipboard()->setMimeData(
        KeyDrag::buttonData({ButtonAction::function(ButtonFunction::copy), image}));
    controller->setSelected(Selection::knob(1));
    refused("a button on a knob", QStringLiteral("on a button"));

    ASSERT_TRUE(QFile::remove(image));
    controller->setSelected(Selection::key(2));
    refused("an image that cannot be copied", QStringLiteral("image"));
}

// While a file dialog, a recording or a drag runs, a dock key may open another page: the
// edit still lands where it started, and is dropped when that page is gone.
TEST_F(ArrangeTest, EditsApplyToThePageWhereTheyStartedOrAreDropped) {
    DockConfig config;
    config.pages = {Page::make(QStringLiteral("Media"))};
    const QUuid media = config.pages[0].id;
    config.keys[5] = ButtonAction::page(media);
    config.pages[0].keys[0] = ButtonAction::page(QUuid());
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[1] = ButtonAction::function(ButtonFunction::paste);
    open(config, true);
    const auto dockOpens = [&](int key, const QUuid& page) {
        EXPECT_TRUE(emulator->tapKey(key));
        EXPECT_TRUE(waitUntil([&] { return controller->currentPage() == page; }));
    };
    const auto homeKeys = [&] { return controller->config().keys; };
    const auto mediaPage = [&] { return *controller->config().page(media); };

    // "Choose Image…" on home; the dock opens Media while the dialog is open.
    const QString image = writeImage(QStringLiteral("violet.png"), Qt::magenta);
    panelAnswer = [&]() -> std::optional<QString> {
        dockOpens(5, media);
        return image;
    };
    controller->chooseCustomIcon(2);
    ASSERT_TRUE(waitUntil([&] { return controller->config().customIcons[2].has_value(); }));
    EXPECT_EQ(mediaPage().customIcons[2], std::nullopt);

    // "Other…" on Media; the dock goes home meanwhile.
    const QString app = scratchDir() + QStringLiteral("/other.desktop");
    panelAnswer = [&]() -> std::optional<QString> {
        dockOpens(0, QUuid());
        return app;
    };
    controller->chooseAppWithPanel(3);
    ASSERT_TRUE(waitUntil([&] { return mediaPage().keys[3] == ButtonAction::app(app); }));
    EXPECT_EQ(homeKeys()[3], config.keys[3]);

    // A shortcut recorded for home key 4 after the dock opened Media.
    controller->startRecordingShortcut(4);
    dockOpens(5, media);
    constexpr quint32 kXKeycodeK = 37 + 8; // evdev KEY_K + 8
    QKeyEvent ctrlK(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier, kXKeycodeK, 0, 0,
                    QStringLiteral("k"));
    QCoreApplication::sendEvent(menu, &ctrlK);
    EXPECT_EQ(homeKeys()[4].kind(), ButtonAction::Kind::keys);
    EXPECT_EQ(mediaPage().keys[4], ButtonAction::nothing());

    // A drag started on home, dropped after the dock opened Media: home's keys swap.
    dockOpens(0, QUuid());
    QWidget* first = preview->element(Selection::key(0));
    QTimer::singleShot(0, preview, [&] {
        dockOpens(5, media);
        drop(KeyDrag::elementData(Selection::key(0)), Selection::key(1));
        QDrag::cancel();
    });
    QTest::mousePress(first, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), first->mapToGlobal(QPointF(40, 40)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(first, &move);
    EXPECT_EQ(homeKeys()[0], config.keys[1]);
    EXPECT_EQ(homeKeys()[1], config.keys[0]);
    EXPECT_EQ(mediaPage().keys[0], config.pages[0].keys[0]);

    // The page is deleted while the dialog is open: nothing changes, one line says why.
    LogCapture log;
    panelAnswer = [&]() -> std::optional<QString> {
        controller->deletePage(media);
        return image;
    };
    const DockConfig before = controller->config();
    controller->chooseCustomIcon(1);
    ASSERT_TRUE(waitUntil([&] { return panels.size() == 3; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller->config().pages.isEmpty());
    EXPECT_EQ(controller->config().customIcons, before.customIcons);
    EXPECT_EQ(log.count(QStringLiteral("Dropped an edit")), 1);
}

TEST_F(ArrangeTest, UndoAndRedoShowThePageAndButtonTheyChange) {
    DockConfig config;
    config.pages = {Page::make(QStringLiteral("Media"))};
    const QUuid media = config.pages[0].id;
    open(config);
    controller->setCurrentPage(media);
    controller->setSelected(Selection::key(4));
    controller->setAction(ButtonAction::function(ButtonFunction::playPause), 4);
    controller->setCurrentPage(QUuid());
    controller->setSelected(Selection::key(1));
    controller->setAction(ButtonAction::function(ButtonFunction::copy), 1);
    controller->setSelected(Selection::knob(2));
    clock.advance(2);

    keys(QKeySequence::Undo); // home's key 2: already shown, now selected
    EXPECT_TRUE(controller->currentPage().isNull());
    EXPECT_EQ(controller->selected(), Selection::key(1));
    keys(QKeySequence::Undo); // Media's key 5
    EXPECT_EQ(controller->currentPage(), media);
    EXPECT_EQ(controller->selected(), Selection::key(4));
    EXPECT_EQ(controller->currentKeys()[4], ButtonAction::nothing());

    controller->setCurrentPage(QUuid());
    controller->setSelected(Selection::key(0));
    keys(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(controller->currentPage(), media);
    EXPECT_EQ(controller->selected(), Selection::key(4));
    EXPECT_EQ(controller->currentKeys()[4], ButtonAction::function(ButtonFunction::playPause));
}
