// The velloq program's commands against the interface on the session bus: their output, their
// messages and exit statuses, watch included.

#include "scripting/ScriptingFixture.h"

#include "config/ConfigJson.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace velloq;
using namespace velloq::test;

namespace {

// The first whole line of `out` that contains `text`.
QString lineWith(const QString& out, const QString& text) {
    for (const QString& line : out.split(u'\n')) {
        if (line.contains(text) && out.contains(line + QLatin1Char('\n')))
            return line;
    }
    return {};
}

// Stops `process` when the test ends.
struct Stopped {
    QProcess& process;
    ~Stopped() {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace

TEST_F(ScriptingTest, CommandsDriveVelloqAndSayWhatWentWrong) {
    DockConfig config;
    Page media = Page::make(QStringLiteral("Media"));
    // A toggle whose off side would leave the page, were it run.
    media.keys[1] = ButtonAction::toggle(ButtonAction::page(QUuid()), ButtonAction::nothing());
    config.pages << media;
    serve(config);

    CommandResult r = velloq({QStringLiteral("page"), QStringLiteral("media")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, QString());
    EXPECT_EQ(controller->currentPage(), media.id);
    r = velloq({QStringLiteral("page"), QStringLiteral("Garden")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("velloq: There is no page \"Garden\"\n"));

    // A toggle's state changes and its face follows; neither side runs.
    const auto toggleFace = [&] {
        const DockConfig& now = controller->config();
        return faceOf(IconRenderer::picture(now.lookOf(media.id, 1), now.snippets, now.pages));
    };
    r = velloq({QStringLiteral("toggle"), QStringLiteral("2"), QStringLiteral("on")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(controller->config().isToggleOn({media.id, 1}));
    EXPECT_TRUE(shows(1, toggleFace()));
    EXPECT_EQ(velloq({QStringLiteral("toggle"), QStringLiteral("2"), QStringLiteral("off")}).status,
              0);
    EXPECT_FALSE(controller->config().isToggleOn({media.id, 1}));
    EXPECT_TRUE(shows(1, toggleFace()));
    EXPECT_EQ(controller->currentPage(), media.id);
    r = velloq({QStringLiteral("toggle"), QStringLiteral("3"), QStringLiteral("on")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              QStringLiteral("velloq: Button 3 on the page the dock shows is not a toggle\n"));

    // A relative image is sent as a whole path.
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    ASSERT_TRUE(QDir().mkpath(scratchDir() + QStringLiteral("/pictures")));
    ASSERT_TRUE(image.save(scratchDir() + QStringLiteral("/pictures/sun.png")));
    const int commits = emulator->imageCommits(4);
    r = velloq({QStringLiteral("face"), QStringLiteral("5"), QStringLiteral("--image"),
                QStringLiteral("sun.png"), QStringLiteral("--title"), QStringLiteral("Sun")},
               scratchDir() + QStringLiteral("/pictures"));
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return emulator->imageCommits(4) > commits; }));
    EXPECT_EQ(
        velloq({QStringLiteral("face"), QStringLiteral("5"), QStringLiteral("--reset")}).status, 0);
    r = velloq({QStringLiteral("face"), QStringLiteral("5"), QStringLiteral("--image"),
                QStringLiteral("missing.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloq: Cannot read /"))) << r.err.toStdString();

    EXPECT_EQ(velloq({QStringLiteral("brightness"), QStringLiteral("55%")}).status, 0);
    EXPECT_EQ(controller->config().dockBrightness, 55);
    EXPECT_EQ(velloq({QStringLiteral("knob"), QStringLiteral("3"), QStringLiteral("turn"),
                      QStringLiteral("-2")})
                  .status,
              0);
    EXPECT_EQ(velloq({QStringLiteral("screensaver"), QStringLiteral("start")}).status, 0);
    EXPECT_TRUE(controller->screensaverRunning());
    EXPECT_EQ(velloq({QStringLiteral("press"), QStringLiteral("9")}).status, 0);
    EXPECT_FALSE(controller->screensaverRunning());

    r = velloq({QStringLiteral("status"), QStringLiteral("--json")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject status = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(status.value(QStringLiteral("connected")), QJsonValue(true));
    EXPECT_EQ(status.value(QStringLiteral("dock")), QJsonValue(emulator->model().name));
    EXPECT_EQ(status.value(QStringLiteral("page")), QJsonValue(ConfigJson::uuidString(media.id)));
    EXPECT_EQ(status.value(QStringLiteral("brightness")), QJsonValue(55));
    EXPECT_EQ(status.value(QStringLiteral("pages"))
                  .toArray()
                  .at(1)
                  .toObject()
                  .value(QStringLiteral("name")),
              QJsonValue(QStringLiteral("Media")));
    r = velloq({QStringLiteral("status")});
    EXPECT_TRUE(r.out.contains(QStringLiteral("Page: Media\n"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Brightness: 55%\n")));

    // Bad arguments: the message, the command's usage, status 2, nothing done.
    const QList<QStringList> usage = {
        {QStringLiteral("press"), QStringLiteral("ten")},
        {QStringLiteral("press")},
        {QStringLiteral("toggle"), QStringLiteral("2"), QStringLiteral("maybe")},
        {QStringLiteral("knob"), QStringLiteral("1"), QStringLiteral("spin")},
        {QStringLiteral("knob"), QStringLiteral("1"), QStringLiteral("turn"), QStringLiteral("0")},
        {QStringLiteral("face"), QStringLiteral("1")},
        {QStringLiteral("face"), QStringLiteral("7"), QStringLiteral("--title"),
         QStringLiteral("x")},
        {QStringLiteral("face"), QStringLiteral("1"), QStringLiteral("--reset"),
         QStringLiteral("--title"), QStringLiteral("x")},
        {QStringLiteral("brightness"), QStringLiteral("120")},
        {QStringLiteral("screensaver"), QStringLiteral("pause")},
        {QStringLiteral("status"), QStringLiteral("--frob")},
    };
    for (const QStringList& arguments : usage) {
        r = velloq(arguments);
        EXPECT_EQ(r.status, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloq: ")));
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: velloq ") + arguments.first()))
            << r.err.toStdString();
    }
    EXPECT_EQ(velloq({QStringLiteral("status"), QStringLiteral("--frob")}).err.section(u'\n', 0, 0),
              QStringLiteral("velloq: unknown option --frob"));
    EXPECT_EQ(controller->config().dockBrightness, 55);
}

TEST_F(ScriptingTest, TheProgramsOwnOptionsAndHelp) {
    CommandResult r = velloq({QStringLiteral("-h")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, velloq({QStringLiteral("--help")}).out);
    for (const QString& command :
         {QStringLiteral("page NAME|ID|home"), QStringLiteral("knob N turn STEPS"),
          QStringLiteral("face N --reset"), QStringLiteral("watch [--json]")})
        EXPECT_TRUE(r.out.contains(command)) << command.toStdString();
    r = velloq({QStringLiteral("--frob")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloq: unknown option --frob\n\nUsage: velloq")));
    r = velloq({QStringLiteral("frob")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloq: unknown command frob\n")));
    r = velloq({QStringLiteral("face"), QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Usage: velloq face N [--image FILE]")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("--title TEXT")));

    // A .velloq file is no command: Velloq runs, and hands it to the one already running.
    serve();
    QStringList opened;
    QObject::connect(instance.get(), &SingleInstance::openRequested,
                     [&opened](const QStringList& paths) { opened = paths; });
    r = velloq({QStringLiteral("Media page.velloq")}, scratchDir());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(opened, QStringList{QDir(scratchDir()).canonicalPath() +
                                  QStringLiteral("/Media page.velloq")});
}

TEST_F(ScriptingTest, CommandsSayWhenVelloqIsNotRunning) {
    if (QDBusConnection::sessionBus().interface()->activatableServiceNames().value().contains(
            Velloq1::service()))
        GTEST_SKIP() << "an installed Velloq would start";
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("page"), QStringLiteral("home")},
          QStringList{QStringLiteral("status")}, QStringList{QStringLiteral("watch")}}) {
        const CommandResult r = velloq(arguments);
        EXPECT_EQ(r.status, 1) << arguments.first().toStdString();
        EXPECT_EQ(r.err, QStringLiteral("velloq: Velloq is not running\n"));
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(ScriptingTest, WatchPrintsALinePerSignalAtOnce) {
    DockConfig config;
    Page media = Page::make(QStringLiteral("Media Room"));
    config.pages << media;
    serve(config);

    for (const bool json : {false, true}) {
        QProcess watch;
        Stopped stop{watch};
        watch.start(QStringLiteral(VELLOQ_BINARY),
                    json ? QStringList{QStringLiteral("watch"), QStringLiteral("--json")}
                         : QStringList{QStringLiteral("watch")});
        ASSERT_TRUE(watch.waitForStarted());
        // Pressing until the first line shows: the program subscribes on its own time.
        QString out;
        ASSERT_TRUE(waitUntil(
            [&] {
                emulator->tapKey(7);
                waitUntil([&] { return watch.canReadLine(); }, 200);
                out += QString::fromUtf8(watch.readAll());
                return out.contains(QLatin1Char('\n'));
            },
            20000));
        const QString home = QStringLiteral("00000000-0000-0000-0000-000000000000");
        EXPECT_EQ(
            out.section(u'\n', 0, 0),
            json ? QStringLiteral("{\"button\":8,\"page\":\"%1\",\"signal\":\"ButtonPressed\"}")
                       .arg(home)
                 : QStringLiteral("ButtonPressed 8 ") + home);
        // Each later signal is a line of its own, as it happens.
        controller->setCurrentPage(media.id);
        ASSERT_TRUE(waitUntil([&] {
            out += QString::fromUtf8(watch.readAll());
            return !lineWith(out, QStringLiteral("PageChanged")).isEmpty();
        }));
        const QString id = ConfigJson::uuidString(media.id);
        EXPECT_EQ(lineWith(out, QStringLiteral("PageChanged")),
                  json ? QStringLiteral("{\"id\":\"%1\",\"name\":\"Media Room\",\"signal\":"
                                        "\"PageChanged\"}")
                             .arg(id)
                       : QStringLiteral("PageChanged %1 Media Room").arg(id));
        controller->setCurrentPage(QUuid());
        ASSERT_TRUE(emulator->turnKnob(0, 1));
        ASSERT_TRUE(waitUntil([&] {
            out += QString::fromUtf8(watch.readAll());
            return !lineWith(out, QStringLiteral("KnobTurned")).isEmpty();
        }));
        EXPECT_EQ(lineWith(out, QStringLiteral("KnobTurned")),
                  json ? QStringLiteral("{\"knob\":1,\"signal\":\"KnobTurned\",\"steps\":1}")
                       : QStringLiteral("KnobTurned 1 1"));
        EXPECT_EQ(watch.state(), QProcess::Running);
    }
}
