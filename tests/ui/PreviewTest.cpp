// The dock preview in the real window: faces drawn as the dock draws them, the selection ring
// and the keyboard.
#include "ui/EditorsFixture.h"

#include "imaging/IconRenderer.h"
#include "imaging/MediaWriters.h"
#include "ui/AnimatedImage.h"
#include "ui/DeviceMockView.h"
#include "ui/KeyFace.h"
#include "ui/MenuView.h"
#include "ui/PreviewRings.h"

#include <QDir>
#include <QMovie>
#include <QPainter>
#include <QScreen>

using namespace velloq;
using namespace velloq::test;

namespace {

class PreviewTest : public EditorsTest {
protected:
    void open(const DockConfig& config, bool dock = false) {
        make(config, dock);
        show(new MenuView(*controller));
        preview = window->findChild<DeviceMockView*>();
        ASSERT_NE(preview, nullptr);
    }
    QWidget* element(const Selection& selection) const { return preview->element(selection); }

    DeviceMockView* preview = nullptr;
};

// Whether two faces agree pixel for pixel, but for the rounded corners.
bool sameFace(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return false;
    const int corner = int(10 * a.devicePixelRatio());
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const bool inCorner =
                (x < corner || x >= a.width() - corner) && (y < corner || y >= a.height() - corner);
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            if (!inCorner &&
                (std::abs(p.red() - q.red()) > 2 || std::abs(p.green() - q.green()) > 2 ||
                 std::abs(p.blue() - q.blue()) > 2))
                return false;
        }
    }
    return true;
}

} // namespace

TEST_F(PreviewTest, AScreenKeyIsDrawnAsTheDockDrawsItWithItsCaptionCutAlike) {
    const Snippet snippet =
        Snippet::make(QStringLiteral("Signature for letters"), QStringLiteral("Regards"));
    DockConfig config;
    config.snippets = {snippet};
    config.keys[1] = ButtonAction::snippet(snippet.id);
    dockModel = *DockModels::lookup(0x0300, 0x3002); // keys of 64 pixels
    open(config, true);
    ASSERT_TRUE(IconRenderer::fittedLabel(snippet.name, 64).endsWith(u'…'))
        << "the dock cuts this caption";

    QWidget* key = element(Selection::key(1));
    const QWidget* face = key->findChild<KeyFace*>();
    const QImage shown = key->grab(face->geometry()).toImage();
    // The dock's drawing for keys of `edge` pixels, at the preview's size, on the key's black.
    const auto dockFace = [&](int edge) {
        QImage drawn(shown.size(), QImage::Format_RGB32);
        drawn.setDevicePixelRatio(shown.devicePixelRatio());
        drawn.fill(Qt::black);
        QPainter painter(&drawn);
        const IconRenderer::Picture picture =
            IconRenderer::picture(config.keys[1], std::nullopt, config.snippets);
        painter.drawImage(QRectF(QPointF(), face->size()),
                          *IconRenderer::previewImage(picture, edge, shown.width()));
        return drawn;
    };
    EXPECT_TRUE(sameFace(shown.convertToFormat(QImage::Format_RGB32), dockFace(64)));
    EXPECT_FALSE(sameFace(dockFace(60), dockFace(64))) << "the dock's key size counts";
}

TEST_F(PreviewTest, TheSelectedButtonIsRingedOutsideItsFaceWhateverItsImage) {
    open(DockConfig());
    const auto image = [&](const QString& name, const QColor& colour) {
        QImage filled(64, 64, QImage::Format_RGB32);
        filled.fill(colour);
        const QString path = scratchDir() + u'/' + name;
        EXPECT_TRUE(filled.save(path));
        return path;
    };
    // A white picture covering the whole face, and one in the ring's own colour.
    const QColor accent = preview->palette().color(QPalette::Highlight);
    ASSERT_TRUE(controller->useCustomIcon(0, image(QStringLiteral("white.png"), Qt::white)));
    ASSERT_TRUE(controller->useCustomIcon(1, image(QStringLiteral("accent.png"), accent)));

    for (const int index : {0, 1}) {
        controller->setSelected(Selection::key(index));
        EXPECT_EQ(ringed(*preview), QList{Selection::key(index)}) << index;
        // The ring leaves the picture whole.
        QWidget* key = element(Selection::key(index));
        const QImage shown = key->grab().toImage();
        const QPoint centre = QRect(QPoint(), shown.size()).center();
        EXPECT_EQ(shown.pixelColor(centre), index == 0 ? QColor(Qt::white) : accent);
    }
    controller->setSelected(Selection::knob(1));
    EXPECT_EQ(ringed(*preview), QList{Selection::knob(1)});
}

TEST_F(PreviewTest, ArrowKeysMoveTheSelectionByRowAndColumnAndTheFocusFollows) {
    open(DockConfig());
    QTest::mouseClick(element(Selection::key(0)), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return element(Selection::key(0))->hasFocus(); }));

    // Keys 0-2 over 3-5 over the round keys 6-8; the big knob (1) right of the screen keys,
    // then the small knobs 0 over 2. The opposite arrow goes back where the last one came from.
    const std::pair<Qt::Key, Selection> steps[] = {
        {Qt::Key_Down, Selection::key(3)},   {Qt::Key_Down, Selection::key(6)},
        {Qt::Key_Down, Selection::key(6)},   {Qt::Key_Right, Selection::key(7)},
        {Qt::Key_Up, Selection::key(4)},     {Qt::Key_Up, Selection::key(1)},
        {Qt::Key_Up, Selection::key(1)},     {Qt::Key_Right, Selection::key(2)},
        {Qt::Key_Right, Selection::knob(1)}, {Qt::Key_Left, Selection::key(2)},
        {Qt::Key_Right, Selection::knob(1)}, {Qt::Key_Right, Selection::knob(0)},
        {Qt::Key_Down, Selection::knob(2)},  {Qt::Key_Left, Selection::knob(1)},
        {Qt::Key_Left, Selection::key(5)},   {Qt::Key_Down, Selection::key(8)},
        {Qt::Key_Left, Selection::key(7)},
    };
    int step = 0;
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(controller->selected(), expected) << "step " << step;
        EXPECT_EQ(QApplication::focusWidget(), element(expected)) << "step " << step;
        EXPECT_EQ(ringed(*preview), QList{expected}) << "step " << step;
        ++step;
    }
    // Tab still visits the next element without selecting it: the focus ring and the
    // selection ring are then on two elements.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(controller->selected(), Selection::key(7));
    EXPECT_EQ(QApplication::focusWidget(), element(Selection::key(8)));
    EXPECT_EQ(ringed(*preview), (QList{Selection::key(7), Selection::key(8)}));
}

// While the dock plays a key's animation, the preview shows the frames made for the dock,
// upright, instead of decoding its own; while the screensaver has the dock, it plays by itself.
TEST_F(PreviewTest, AnAnimatedKeyShowsTheFramesMadeForTheDock) {
    QDir().mkpath(dataDir());
    const QString gif = dataDir() + QStringLiteral("/corner.gif");
    // The top left quarter red, then green; the rest blue.
    QList<GifPart> parts;
    for (const QColor& corner : {QColor(Qt::red), QColor(Qt::green)}) {
        GifPart part;
        part.rect = QRect(0, 0, 40, 40);
        part.color = [corner](int x, int y) {
            return x < 20 && y < 20 ? corner : QColor(Qt::blue);
        };
        parts << part;
    }
    ASSERT_TRUE(writeGifParts(gif, 40, 40, parts));
    DockConfig config;
    config.keys[3] = ButtonAction::function(ButtonFunction::paste);
    config.customIcons[3] = gif;
    config.extraRotation = 90; // the dock's tiles are turned
    open(config, true);
    auto* image = element(Selection::key(3))->findChild<AnimatedImage*>();
    ASSERT_NE(image, nullptr);
    AnimationEngine& engine = controller->animations();
    ASSERT_TRUE(waitUntil([&] { return image->dockFrame().has_value(); }, 10000));
    EXPECT_NE(image->movie()->state(), QMovie::Running);
    ASSERT_TRUE(engine.shownFrame(3));
    EXPECT_EQ(image->dockFrame(), engine.shownFrame(3)->frame);
    const int first = *image->dockFrame();
    clock.advance(0.1); // the next frame is due: the dock gets it on the next tick
    engine.tick();
    ASSERT_TRUE(engine.shownFrame(3));
    EXPECT_NE(engine.shownFrame(3)->frame, first);
    EXPECT_EQ(image->dockFrame(), engine.shownFrame(3)->frame);

    // The window on screen shows it: only the key's image is painted again for a frame.
    const QPoint origin = image->mapTo(window.get(), QPoint());
    QImage shot;
    const auto at = [&](double x, double y) {
        return shot.pixelColor(int(x * shot.width()), int(y * shot.height()));
    };
    const auto shows = [&](int frame) {
        shot = window->screen()
                   ->grabWindow(window->winId(), origin.x(), origin.y(), image->width(),
                                image->height())
                   .toImage();
        const QColor corner = at(0.25, 0.25);
        return (frame == 0 ? corner.red() : corner.green()) > 200 && at(0.75, 0.25).blue() > 200 &&
               at(0.25, 0.75).blue() > 200;
    };
    EXPECT_TRUE(waitUntil([&] { return shows(*image->dockFrame()); }))
        << qPrintable(at(0.25, 0.25).name());

    // The screensaver holds the dock's key animations, and the preview with them.
    const std::optional<int> held = image->dockFrame();
    controller->startScreensaver();
    ASSERT_TRUE(controller->screensaverRunning());
    EXPECT_EQ(image->dockFrame(), held);
    EXPECT_NE(image->movie()->state(), QMovie::Running);
    controller->stopScreensaver();
    EXPECT_TRUE(waitUntil([&] { return image->dockFrame().has_value(); }));
    EXPECT_NE(image->movie()->state(), QMovie::Running);
}
