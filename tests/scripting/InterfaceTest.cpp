// app.velloq.Velloq1 on the session bus: properties, pages, presses, knobs, brightness, the
// screensaver, the signals and the errors, against the controller and the dock emulator.

#include "scripting/ScriptingFixture.h"

#include "config/ConfigJson.h"
#include "support/PulseDaemon.h"
#include "system/PulseSystemAudio.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using namespace velloq;
using namespace velloq::test;

namespace {

const QString kHome = QStringLiteral("00000000-0000-0000-0000-000000000000");

// Home whose first key opens "Media"; Media's first key opens home again.
DockConfig withMediaPage(QUuid* mediaId) {
    DockConfig config;
    Page media = Page::make(QStringLiteral("Media"));
    media.keys[0] = ButtonAction::page(QUuid());
    media.keys[1] = ButtonAction::function(ButtonFunction::playPause);
    config.pages << media;
    config.keys[0] = ButtonAction::page(media.id);
    *mediaId = media.id;
    return config;
}

PageList pagesOf(const QVariant& value) {
    return qdbus_cast<PageList>(value.value<QDBusArgument>());
}

// The changed properties of each PropertiesChanged for app.velloq.Velloq1.
QList<QVariantMap> changes(const SignalLog& log) {
    QList<QVariantMap> found;
    for (const QVariantList& arguments : log.of(QStringLiteral("PropertiesChanged"))) {
        if (arguments.value(0).toString() == Velloq1::interface())
            found << qdbus_cast<QVariantMap>(arguments.value(1));
    }
    return found;
}

bool anyChange(const SignalLog& log, const QString& property, const QVariant& value) {
    for (const QVariantMap& changed : changes(log)) {
        const QVariant v = changed.value(property);
        if (v.isValid() && v == value)
            return true;
    }
    return false;
}

// The methods, signals and properties an introspection names, with their argument types.
QStringList members(const QString& xml) {
    QStringList found;
    QXmlStreamReader reader(xml);
    bool inside = false;
    QString current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"interface")
            inside = reader.attributes().value(QStringLiteral("name")) == Velloq1::interface();
        if (!inside || !reader.isStartElement())
            continue;
        const auto attributes = reader.attributes();
        if (reader.name() == u"method" || reader.name() == u"signal" ||
            reader.name() == u"property") {
            current = reader.name().toString() + QLatin1Char(' ') +
                      attributes.value(QStringLiteral("name")).toString();
            found << current;
            if (reader.name() == u"property")
                found << current + QLatin1Char(' ') +
                             attributes.value(QStringLiteral("type")).toString() +
                             QLatin1Char(' ') +
                             attributes.value(QStringLiteral("access")).toString();
        } else if (reader.name() == u"arg") {
            found << current + QLatin1Char(' ') +
                         attributes.value(QStringLiteral("name")).toString() + QLatin1Char(':') +
                         attributes.value(QStringLiteral("type")).toString();
        }
    }
    found.sort();
    return found;
}

} // namespace

TEST_F(ScriptingTest, TheServiceIntrospectsAsTheInstalledXmlDescribes) {
    serve(DockConfig(), false);
    QFile file(QStringLiteral(VELLOQ_INTERFACE_XML));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList described = members(QString::fromUtf8(file.readAll()));
    const QDBusMessage reply = call(QStringLiteral("Introspect"), {},
                                    QStringLiteral("org.freedesktop.DBus.Introspectable"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QString served = reply.arguments().value(0).toString();
    EXPECT_EQ(members(served), described);
    EXPECT_TRUE(served.contains(QStringLiteral("org.freedesktop.Application")));
    EXPECT_GE(described.size(), 30);
}

TEST_F(ScriptingTest, PropertiesDescribeTheDockAndAnnounceTheirChanges) {
    QUuid media;
    serve(withMediaPage(&media));
    EXPECT_EQ(property(QStringLiteral("Connected")), QVariant(true));
    EXPECT_EQ(property(QStringLiteral("DockName")), QVariant(emulator->model().name));
    EXPECT_EQ(property(QStringLiteral("CurrentPage")), QVariant(kHome));
    EXPECT_EQ(property(QStringLiteral("Brightness")), QVariant(70U));
    const PageList pages = pagesOf(property(QStringLiteral("Pages")));
    EXPECT_EQ(pages, (PageList{{kHome, QStringLiteral("Home")},
                               {ConfigJson::uuidString(media), QStringLiteral("Media")}}));

    SignalLog log;
    listen(log);
    DockConfig next = controller->config();
    next.dockBrightness = 35;
    next.pages[0].name = QStringLiteral("Music");
    controller->setConfig(next);
    controller->setCurrentPage(media);
    emulator->unplug();
    ASSERT_TRUE(waitUntil([&] { return anyChange(log, QStringLiteral("Connected"), false); }));
    EXPECT_TRUE(anyChange(log, QStringLiteral("Brightness"), 35U));
    EXPECT_TRUE(anyChange(log, QStringLiteral("CurrentPage"), ConfigJson::uuidString(media)));
    EXPECT_TRUE(anyChange(log, QStringLiteral("DockName"), QString()));
    bool renamed = false;
    for (const QVariantMap& changed : changes(log)) {
        if (changed.contains(QStringLiteral("Pages")))
            renamed = pagesOf(changed.value(QStringLiteral("Pages"))).value(1).name ==
                      QStringLiteral("Music");
    }
    EXPECT_TRUE(renamed);
    // Only what changed is announced.
    for (const QVariantMap& changed : changes(log))
        EXPECT_LE(changed.size(), 2) << changed.keys().join(u',').toStdString();
}

TEST_F(ScriptingTest, ShowPageTakesANameAnIdOrHome) {
    QUuid media;
    serve(withMediaPage(&media));
    SignalLog log;
    listen(log);
    const QString mediaId = ConfigJson::uuidString(media);

    EXPECT_EQ(call(QStringLiteral("ShowPage"), {QStringLiteral("mEDIA")}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(controller->currentPage(), media);
    EXPECT_EQ(call(QStringLiteral("ShowPage"), {QStringLiteral("Home")}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(controller->currentPage().isNull());
    EXPECT_EQ(call(QStringLiteral("ShowPage"), {mediaId.toLower()}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(controller->currentPage(), media);
    // The dock shows the page's first key: the way home.
    const auto homeLink = IconRenderer::picture(ButtonAction::page(QUuid()), std::nullopt, {},
                                                controller->config().pages);
    EXPECT_TRUE(shows(0, faceOf(homeLink)));
    EXPECT_EQ(call(QStringLiteral("ShowPage"), {kHome}).type(), QDBusMessage::ReplyMessage);

    for (const QString& bad : {QStringLiteral("Nope"), QString(), QStringLiteral("Media ")}) {
        const QDBusMessage reply = call(QStringLiteral("ShowPage"), {bad});
        EXPECT_EQ(reply.errorName(), error(Velloq1::kNoSuchPage)) << bad.toStdString();
        EXPECT_TRUE(reply.errorMessage().contains(bad));
    }
    EXPECT_TRUE(controller->currentPage().isNull());
    ASSERT_TRUE(waitUntil([&] { return log.of(QStringLiteral("PageChanged")).size() >= 4; }));
    const QList<QVariantList> changed = log.of(QStringLiteral("PageChanged"));
    EXPECT_EQ(changed.at(0), (QVariantList{mediaId, QStringLiteral("Media")}));
    EXPECT_EQ(changed.at(1), (QVariantList{kHome, QStringLiteral("Home")}));
}

TEST_F(ScriptingTest, PressButtonRunsTheActionAsTheDockDoes) {
    QUuid media;
    serve(withMediaPage(&media));
    SignalLog log;
    listen(log);
    EXPECT_EQ(call(QStringLiteral("PressButton"), {1U}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(controller->currentPage(), media);
    // A press on the dock is reported too, with the page it was pressed on.
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return controller->currentPage().isNull(); }));
    ASSERT_TRUE(waitUntil([&] { return log.of(QStringLiteral("ButtonPressed")).size() >= 2; }));
    EXPECT_EQ(log.of(QStringLiteral("ButtonPressed")).at(0), (QVariantList{1U, kHome}));
    EXPECT_EQ(log.of(QStringLiteral("ButtonPressed")).at(1),
              (QVariantList{1U, ConfigJson::uuidString(media)}));

    for (const uint button : {0U, 10U, 4000000000U}) {
        const QDBusMessage reply = call(QStringLiteral("PressButton"), {button});
        EXPECT_EQ(reply.errorName(), error(Velloq1::kInvalidArgument));
        EXPECT_TRUE(reply.errorMessage().contains(QStringLiteral("1 to 9")));
    }
    // While the screensaver plays, a press only ends it.
    ASSERT_EQ(call(QStringLiteral("StartScreensaver")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(controller->screensaverRunning());
    EXPECT_EQ(call(QStringLiteral("PressButton"), {1U}).type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_TRUE(controller->currentPage().isNull());
    call(QStringLiteral("Ping"), {}, QStringLiteral("org.freedesktop.DBus.Peer"));
    EXPECT_EQ(log.of(QStringLiteral("ButtonPressed")).size(), 2);
}

TEST_F(ScriptingTest, KnobsTurnAndPressAsOnTheDockWithTheIndicator) {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        GTEST_SKIP() << "pulseaudio is not installed";
    QTemporaryDir pulseDir;
    PulseDaemon pulse(pulseDir.path());
    ASSERT_TRUE(pulse.start());
    qputenv("PULSE_SERVER", pulse.server().toUtf8());
    PulseSystemAudio sound(2000);
    ASSERT_TRUE(sound.setVolume(AudioDirection::output, 0.5F));
    audio = &sound;
    DockConfig config;
    config.nativeIndicators = false; // Velloq's own indicator and the sound server itself
    config.knobStep = 5;
    config.knobs = {KnobRole::volume, KnobRole::microphone, KnobRole::brightness};
    serve(config);
    SignalLog log;
    listen(log);

    EXPECT_EQ(call(QStringLiteral("TurnKnob"), {1U, 3}).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitUntil([&] {
        const auto v = sound.volume(AudioDirection::output);
        return v && std::fabs(*v - 0.65F) < 0.01F;
    }));
    ASSERT_TRUE(
        waitUntil([&] { return controller->hud().model().title == QStringLiteral("Volume"); }));
    EXPECT_EQ(call(QStringLiteral("PressKnob"), {1U}).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitUntil([&] {
        const auto device = sound.defaultDevice(AudioDirection::output);
        return device && sound.isMuted(AudioDirection::output, *device) == true;
    }));
    ASSERT_TRUE(emulator->turnKnob(1, -1));
    ASSERT_TRUE(waitUntil([&] { return log.of(QStringLiteral("KnobTurned")).size() >= 4; }));
    EXPECT_EQ(log.of(QStringLiteral("KnobTurned")).first(), (QVariantList{1U, 1}));
    EXPECT_EQ(log.of(QStringLiteral("KnobTurned")).last(), (QVariantList{2U, -1}));
    EXPECT_EQ(log.of(QStringLiteral("KnobPressed")), (QList<QVariantList>{{1U}}));

    const QList<QVariantList> bad = {{0U, 1}, {4U, 1}, {1U, 0}, {1U, 101}, {1U, -101}};
    for (const QVariantList& arguments : bad)
        EXPECT_EQ(call(QStringLiteral("TurnKnob"), arguments).errorName(),
                  error(Velloq1::kInvalidArgument));
    EXPECT_EQ(call(QStringLiteral("PressKnob"), {4U}).errorName(),
              error(Velloq1::kInvalidArgument));
}

TEST_F(ScriptingTest, BrightnessIsSavedAndTheScreensaverNeedsADock) {
    serve();
    EXPECT_EQ(call(QStringLiteral("SetBrightness"), {40U}).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitUntil([&] { return emulator->brightness() == 40; }));
    controller->flushSave();
    EXPECT_EQ(ConfigStore(dataDir() + QStringLiteral("/config.json")).load().dockBrightness, 40);
    const QDBusMessage tooBright = call(QStringLiteral("SetBrightness"), {101U});
    EXPECT_EQ(tooBright.errorName(), error(Velloq1::kInvalidArgument));
    EXPECT_EQ(controller->config().dockBrightness, 40);

    EXPECT_EQ(call(QStringLiteral("StartScreensaver")).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(controller->screensaverRunning());
    EXPECT_EQ(call(QStringLiteral("StopScreensaver")).type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(controller->screensaverRunning());

    emulator->unplug();
    ASSERT_TRUE(waitUntil([&] { return !controller->isConnected(); }));
    const QDBusMessage noDock = call(QStringLiteral("StartScreensaver"));
    EXPECT_EQ(noDock.errorName(), error(Velloq1::kNoDock));
    EXPECT_EQ(noDock.errorMessage(), QStringLiteral("No dock is connected"));
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_EQ(call(QStringLiteral("StopScreensaver")).type(), QDBusMessage::ReplyMessage);
}
