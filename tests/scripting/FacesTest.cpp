// Temporary faces: an image and a title on a key until reset or until the key changes in the
// window, never saved, bad input refused, and a burst of them coalesced to the dock's pace.

#include "scripting/ScriptingFixture.h"

#include "MediaWriters.h"
#include "scripting/FaceImage.h"
#include "scripting/TemporaryFaces.h"
#include "ui/KeyEditor.h"

#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

using namespace velloq;
using namespace velloq::test;

namespace {

QString writeImage(const QString& path, const QColor& color, int edge = 200) {
    QImage image(edge, edge, QImage::Format_RGB32);
    image.fill(color);
    image.save(path);
    return path;
}

IconRenderer::Picture titled(const QString& path, const QString& title) {
    QImage image;
    if (!path.isEmpty()) {
        const auto read = FaceImage::read(path, true);
        if (const FaceImage* face = std::get_if<FaceImage>(&read))
            image = face->image;
    }
    return IconRenderer::Picture::makeImage(
        image, title.isEmpty() ? std::nullopt : std::optional<QString>(title), false);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(ScriptingTest, AFaceShowsAnImageAndATitleUntilResetAndIsNeverSaved) {
    QUuid media;
    DockConfig config;
    config.keys[2] = ButtonAction::function(ButtonFunction::copy);
    Page page = Page::make(QStringLiteral("Media"));
    config.pages << page;
    media = page.id;
    serve(config);
    controller->flushSave();
    const QString configPath = dataDir() + QStringLiteral("/config.json");
    const QByteArray saved = fileBytes(configPath);
    ASSERT_TRUE(waitUntil([&] { return !emulator->faceData(2).isEmpty(); }));
    const QByteArray own = emulator->faceData(2);

    const QString red = writeImage(scratchDir() + QStringLiteral("/red.png"), Qt::red);
    EXPECT_EQ(call(QStringLiteral("SetButtonFace"), {3U, red, QStringLiteral("Build")}).type(),
              QDBusMessage::ReplyMessage);
    const QByteArray face = faceOf(titled(red, QStringLiteral("Build")));
    EXPECT_TRUE(shows(2, face));
    // A title alone; then an image alone.
    EXPECT_EQ(
        call(QStringLiteral("SetButtonFace"), {3U, QString(), QStringLiteral("00:42")}).type(),
        QDBusMessage::ReplyMessage);
    EXPECT_TRUE(shows(2, faceOf(titled(QString(), QStringLiteral("00:42")))));
    EXPECT_EQ(call(QStringLiteral("SetButtonFace"), {3U, red, QString()}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(shows(2, faceOf(titled(red, QString()))));

    // The face belongs to its page.
    controller->setCurrentPage(media);
    EXPECT_TRUE(waitUntil([&] { return emulator->faceData(2).isEmpty(); }));
    controller->setCurrentPage(QUuid());
    EXPECT_TRUE(shows(2, faceOf(titled(red, QString()))));

    EXPECT_EQ(call(QStringLiteral("ResetButtonFace"), {3U}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(shows(2, own));
    controller->flushSave();
    EXPECT_EQ(fileBytes(configPath), saved);
}

TEST_F(ScriptingTest, AnAnimatedImagePlaysOnTheKey) {
    serve();
    const QString gif = scratchDir() + QStringLiteral("/blink.gif");
    QImage white(32, 32, QImage::Format_RGB32), black(32, 32, QImage::Format_RGB32);
    white.fill(Qt::white);
    black.fill(Qt::black);
    ASSERT_TRUE(writeGifImages(gif, {white, black}, 5));
    EXPECT_EQ(call(QStringLiteral("SetButtonFace"), {1U, gif, QString()}).type(),
              QDBusMessage::ReplyMessage);
    // Both frames reach the key.
    ASSERT_TRUE(waitUntil([&] { return controller->animations().buttonTracks().count(0) == 1; }));
    EXPECT_TRUE(waitUntil([&] {
        clock.advance(0.05); // the test's clock stands still unless moved
        return emulator->imageCommits(0) >= 3;
    }));
    EXPECT_EQ(call(QStringLiteral("ResetButtonFace"), {1U}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitUntil([&] { return controller->animations().buttonTracks().empty(); }));
}

TEST_F(ScriptingTest, BadFacesAreRefusedAndChangeNothing) {
    serve();
    const QString red = writeImage(scratchDir() + QStringLiteral("/red.png"), Qt::red);
    ASSERT_EQ(call(QStringLiteral("SetButtonFace"), {1U, red, QStringLiteral("Kept")}).type(),
              QDBusMessage::ReplyMessage);
    const QByteArray kept = faceOf(titled(red, QStringLiteral("Kept")));
    ASSERT_TRUE(shows(0, kept));
    const DockConfig before = controller->config();

    const QString text = scratchDir() + QStringLiteral("/notes.png");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an image at all");
    file.close();
    const QString fifo = scratchDir() + QStringLiteral("/pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    struct Bad {
        QVariantList arguments;
        QString says;
    };
    const QList<Bad> bad = {
        {QVariantList{1U, QStringLiteral("red.png"), QString()}, QStringLiteral("absolute")},
        {QVariantList{1U, QString(scratchDir() + QStringLiteral("/missing.png")), QString()},
         QStringLiteral("No such file")},
        {QVariantList{1U, scratchDir(), QString()}, QStringLiteral("not a file")},
        {QVariantList{1U, fifo, QString()}, QStringLiteral("not a file")},
        {QVariantList{1U, text, QString()}, QStringLiteral("not an image")},
        {QVariantList{1U, QString(), QString()}, QStringLiteral("an image, a title or both")},
        {QVariantList{1U, QString(), QString(101, QLatin1Char('x'))},
         QStringLiteral("100 characters")},
        {QVariantList{7U, red, QString()}, QStringLiteral("no screen")},
        {QVariantList{0U, red, QString()}, QStringLiteral("no button 0")},
    };
    for (const auto& [arguments, says] : bad) {
        const QDBusMessage reply = call(QStringLiteral("SetButtonFace"), arguments);
        EXPECT_EQ(reply.errorName(), error(Velloq1::kInvalidArgument)) << says.toStdString();
        EXPECT_TRUE(reply.errorMessage().contains(says)) << reply.errorMessage().toStdString();
    }
    EXPECT_EQ(call(QStringLiteral("ResetButtonFace"), {9U}).errorName(),
              error(Velloq1::kInvalidArgument));
    // Wrong argument types never reach Velloq's code.
    EXPECT_EQ(call(QStringLiteral("SetButtonFace"), {QStringLiteral("1"), red, QString()}).type(),
              QDBusMessage::ErrorMessage);
    EXPECT_EQ(controller->config(), before);
    EXPECT_EQ(emulator->faceData(0), kept);
}

TEST_F(ScriptingTest, ABurstOfFacesIsCoalescedToTheDocksPaceAndTheLastWins) {
    serve();
    const QString red = writeImage(scratchDir() + QStringLiteral("/red.png"), Qt::red);
    const QString blue = writeImage(scratchDir() + QStringLiteral("/blue.png"), Qt::blue);
    const int commitsBefore = emulator->imageCommits(0);
    constexpr int kCalls = 1000;
    QElapsedTimer elapsed;
    elapsed.start();
    QList<QDBusPendingCall> pending;
    for (int i = 1; i <= kCalls; ++i) {
        // Titles alone and images with titles, in turn: both ways meet on one key.
        QDBusMessage message =
            QDBusMessage::createMethodCall(Velloq1::service(), Velloq1::path(),
                                           Velloq1::interface(), QStringLiteral("SetButtonFace"));
        message << 1U << (i % 2 ? QString() : (i % 4 ? red : blue)) << QString::number(i);
        pending << client.asyncCall(message);
    }
    ASSERT_TRUE(waitUntil(
        [&] {
            return std::all_of(pending.begin(), pending.end(),
                               [](const QDBusPendingCall& call) { return call.isFinished(); });
        },
        60000));
    for (const QDBusPendingCall& call : pending)
        ASSERT_FALSE(call.isError()) << call.error().message().toStdString();
    const QByteArray last = faceOf(titled(blue, QString::number(kCalls)));
    ASSERT_TRUE(shows(0, last));
    const double seconds = double(elapsed.elapsed()) / 1000;
    // At most one face per frame reached the dock (and one more for the last), far from one
    // per call.
    const int commits = emulator->imageCommits(0) - commitsBefore;
    EXPECT_LE(commits, int(seconds * 1000 / TemporaryFaces::kFrameMs) + 2) << seconds << " s";
    EXPECT_LT(commits, kCalls / 4);
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

TEST_F(ScriptingTest, AFaceEndsWhenItsButtonIsChangedInTheWindow) {
    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[1] = ButtonAction::function(ButtonFunction::paste);
    serve(config);
    ASSERT_TRUE(waitUntil([&] { return !emulator->faceData(0).isEmpty(); }));
    const QByteArray own = emulator->faceData(0);
    show(new KeyEditor(*controller, 0));
    ASSERT_EQ(call(QStringLiteral("SetButtonFace"), {1U, QString(), QStringLiteral("Live")}).type(),
              QDBusMessage::ReplyMessage);
    ASSERT_EQ(
        call(QStringLiteral("SetButtonFace"), {2U, QString(), QStringLiteral("Other")}).type(),
        QDBusMessage::ReplyMessage);
    ASSERT_TRUE(shows(0, faceOf(titled(QString(), QStringLiteral("Live")))));

    // Choosing the same action again changes nothing; another one ends the face.
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Function")), QStringLiteral("Copy")));
    EXPECT_EQ(emulator->faceData(0), faceOf(titled(QString(), QStringLiteral("Live"))));
    ASSERT_TRUE(pick(dropdown(QStringLiteral("Function")), QStringLiteral("Cut")));
    const auto cut =
        IconRenderer::picture(ButtonAction::function(ButtonFunction::cut), std::nullopt, {});
    EXPECT_TRUE(shows(0, faceOf(cut)));
    EXPECT_NE(emulator->faceData(0), own);
    // The other key keeps its face; a new image for it ends that one too.
    EXPECT_EQ(emulator->faceData(1), faceOf(titled(QString(), QStringLiteral("Other"))));
    const QString green = writeImage(scratchDir() + QStringLiteral("/green.png"), Qt::green);
    ASSERT_TRUE(controller->useCustomIcon(1, green));
    EXPECT_TRUE(waitUntil([&] {
        return emulator->faceData(1) ==
               faceOf(IconRenderer::picture(controller->config().keys[1],
                                            controller->config().customIcons[1], {}));
    }));
}
