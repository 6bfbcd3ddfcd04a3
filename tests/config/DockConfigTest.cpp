#include "config/DockConfig.h"
#include "FreshDataDir.h"
#include "config/ConfigJson.h"
#include "support/AppPaths.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace velloq {
namespace {

DockConfig decoded(const char* text) {
    const auto config = DockConfig::decode(QByteArray(text));
    EXPECT_TRUE(config) << text;
    return config.value_or(DockConfig());
}

// The defaults with the example snippet's id taken from `like`, for comparisons.
DockConfig defaultsLike(const DockConfig& like) {
    DockConfig config;
    if (!like.snippets.isEmpty())
        config.snippets.first().id = like.snippets.first().id;
    return config;
}

TEST(DockConfig, Defaults) {
    const DockConfig config;
    EXPECT_EQ(config.keys, QList<ButtonAction>(9, ButtonAction::nothing()));
    EXPECT_EQ(config.knobs,
              (QList<KnobRole>{KnobRole::microphone, KnobRole::volume, KnobRole::brightness}));
    ASSERT_EQ(config.snippets.size(), 1);
    EXPECT_EQ(config.snippets[0].name, QStringLiteral("Example"));
    EXPECT_EQ(config.snippets[0].text, QStringLiteral("Hello from Velloq!"));
    EXPECT_FALSE(config.snippets[0].id.isNull());
    EXPECT_NE(config.snippets[0].id, DockConfig().snippets[0].id);
    EXPECT_EQ(config.dockBrightness, 70);
    EXPECT_EQ(config.knobStep, 3);
    EXPECT_EQ(config.extraRotation, 0);
    EXPECT_TRUE(config.showHUD);
    EXPECT_TRUE(config.nativeIndicators);
    EXPECT_EQ(config.customIcons, QList<std::optional<QString>>(9));
    EXPECT_FALSE(config.screensaverEnabled);
    EXPECT_EQ(config.screensaverDelay, 5);
    EXPECT_EQ(config.screensaverAnimation, QStringLiteral("Sports Car"));
    EXPECT_EQ(config.screensaverPlayback, PlaybackMode::loop);
    EXPECT_EQ(config.screensaverSpeed, 1);
    EXPECT_EQ(DockConfig::fileURL(), AppPaths::dataDir() + QStringLiteral("/config.json"));
}

TEST(DockConfig, EmptyObjectAndNonObjects) {
    const DockConfig empty = decoded("{}");
    EXPECT_EQ(empty, defaultsLike(empty));
    EXPECT_EQ(empty.snippets.size(), 1);
    EXPECT_EQ(DockConfig::decode("\xEF\xBB\xBF{\"knobStep\":4}").value_or(DockConfig()).knobStep,
              4);
    for (const char* bad : {"", "not json", "[]", "42", "\"x\"", "null", "{\"keys\":", "{} {}"})
        EXPECT_FALSE(DockConfig::decode(QByteArray(bad))) << bad;
}

TEST(DockConfig, ShortListsArePaddedLongListsKept) {
    const DockConfig one = decoded(R"({"keys":[{"function":{"_0":"copy"}}]})");
    QList<ButtonAction> keys(9, ButtonAction::nothing());
    keys[0] = ButtonAction::function(ButtonFunction::copy);
    EXPECT_EQ(one.keys, keys);
    DockConfig expected = defaultsLike(one);
    expected.keys = keys;
    EXPECT_EQ(one, expected);

    EXPECT_EQ(decoded(R"({"knobs":["volume"]})").knobs,
              (QList<KnobRole>{KnobRole::volume, KnobRole::nothing, KnobRole::nothing}));
    EXPECT_EQ(decoded(R"({"knobs":[]})").knobs, QList<KnobRole>(3, KnobRole::nothing));
    EXPECT_EQ(
        decoded(R"({"customIcons":["\/a.png"]})").customIcons,
        (QList<std::optional<QString>>{QStringLiteral("/a.png"), {}, {}, {}, {}, {}, {}, {}, {}}));

    QByteArray twelve = "{\"keys\":[";
    for (int i = 0; i < 12; ++i)
        twelve +=
            QByteArray(i ? "," : "") + "{\"url\":{\"_0\":\"k" + QByteArray::number(i) + "\"}}";
    twelve += "],\"knobs\":[\"nothing\",\"nothing\",\"nothing\",\"volume\"],"
              "\"customIcons\":[null,null,null,null,null,null,null,null,null,null,\"\\/x\"]}";
    const DockConfig many = decoded(twelve.constData());
    ASSERT_EQ(many.keys.size(), 12);
    EXPECT_EQ(many.keys[11], ButtonAction::url(QStringLiteral("k11")));
    EXPECT_EQ(many.knobs.size(), 4);
    EXPECT_EQ(many.customIcons.size(), 11);
    EXPECT_EQ(many.customIcons[10], QStringLiteral("/x"));
}

TEST(DockConfig, WrongTypedAndNullMembersFallBackOneByOne) {
    const DockConfig config = decoded(R"({
        "dockBrightness": "high", "extraRotation": 90.5, "showHUD": null,
        "knobStep": 7.25, "nativeIndicators": 0, "screensaverEnabled": true,
        "screensaverDelay": null, "screensaverAnimation": null, "screensaverPlayback": "reverse",
        "screensaverSpeed": [2], "customIcons": [null, 3], "unknown": {"a": 1}})");
    EXPECT_EQ(config.dockBrightness, 70);
    EXPECT_EQ(config.extraRotation, 0);
    EXPECT_TRUE(config.showHUD);
    EXPECT_EQ(config.knobStep, 7.25);
    EXPECT_TRUE(config.nativeIndicators);
    EXPECT_TRUE(config.screensaverEnabled);
    EXPECT_EQ(config.screensaverDelay, 5);
    EXPECT_EQ(config.screensaverAnimation, QStringLiteral("Sports Car"));
    EXPECT_EQ(config.screensaverPlayback, PlaybackMode::loop);
    EXPECT_EQ(config.screensaverSpeed, 1);
    EXPECT_EQ(config.customIcons, QList<std::optional<QString>>(9));

    EXPECT_EQ(decoded(R"({"extraRotation": 90})").extraRotation, 90);
    EXPECT_EQ(decoded(R"({"extraRotation": -270})").extraRotation, -270);
    EXPECT_EQ(decoded(R"({"extraRotation": 1e2})").extraRotation, 100);
    EXPECT_EQ(decoded(R"({"extraRotation": 3000000000})").extraRotation, 3000000000);
    EXPECT_EQ(decoded(R"({"extraRotation": -9223372036854775808})").extraRotation, INT64_MIN);
    EXPECT_EQ(decoded(R"({"dockBrightness": 55})").dockBrightness, 55);
}

TEST(DockConfig, ABadElementResetsOnlyItsList) {
    const char* text = R"({
        "keys": [{"function":{"_0":"copy"}}, {"function":{"_0":"sleep"}}],
        "knobs": ["volume", "loudness"],
        "snippets": [{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"a","text":"b"}],
        "dockBrightness": 40})";
    const DockConfig::Decoded result = *DockConfig::decodeReporting(QByteArray(text));
    EXPECT_EQ(result.config.keys, QList<ButtonAction>(9, ButtonAction::nothing()));
    EXPECT_EQ(result.config.knobs, DockConfig().knobs);
    ASSERT_EQ(result.config.snippets.size(), 1);
    EXPECT_EQ(result.config.snippets[0],
              (Snippet{QUuid(QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")),
                       QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(result.config.dockBrightness, 40);
    EXPECT_EQ(result.droppedMembers, (QList<QString>{"keys", "knobs"}));

    // The same bad value inside a snippet list drops all snippets for the fresh example.
    const DockConfig lost = decoded(R"({"snippets": [
        {"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"a","text":"b"},
        {"id":"nope","name":"c","text":"d"}],
        "keys":[{"snippet":{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}}]})");
    ASSERT_EQ(lost.snippets.size(), 1);
    EXPECT_EQ(lost.snippets[0].name, QStringLiteral("Example"));
    EXPECT_NE(lost.snippets[0].id, QUuid(QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
    EXPECT_EQ(lost.keys[0].kind(), ButtonAction::Kind::snippet);
}

TEST(DockConfig, LargeFlagsKeepTheKeysListAndRoundTrip) {
    const DockConfig config = decoded(
        R"({"keys":[{"keys":{"_0":{"keyCode":1,"flags":18446744073709551615,"display":"x"}}}]})");
    ASSERT_EQ(config.keys[0].kind(), ButtonAction::Kind::keys);
    EXPECT_EQ(config.keys[0].keyCombo()->flags, UINT64_MAX);
    EXPECT_EQ(DockConfig::decode(*config.encoded()), config);
}

TEST(DockConfig, MissingAndNullMembersAreNotReportedAsDropped) {
    const auto result = DockConfig::decodeReporting(QByteArray(R"({"showHUD":null,"keys":[]})"));
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->droppedMembers.isEmpty());
}

DockConfig knownConfig() {
    DockConfig config;
    config.keys[0] =
        ButtonAction::app(QStringLiteral("/usr/share/applications/org.gnome.Terminal.desktop"));
    config.keys[1] = ButtonAction::function(ButtonFunction::toggleMicMute);
    config.keys[2] = ButtonAction::keys({40, 1179648, QStringLiteral("⇧⌘K")});
    config.keys[3] = ButtonAction::url(QStringLiteral("github.com"));
    config.knobs = {KnobRole::volume, KnobRole::nothing, KnobRole::brightness};
    config.snippets = {Snippet{QUuid(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e")),
                               QStringLiteral("Sig"), QStringLiteral("Best,\n— A")}};
    config.dockBrightness = 70;
    config.knobStep = 2.5;
    config.extraRotation = 180;
    config.customIcons[1] = QStringLiteral("/home/u/.local/share/Velloq/CustomIcons/a.gif");
    config.screensaverDelay = 0.1;
    config.screensaverPlayback = PlaybackMode::bounce;
    return config;
}

TEST(DockConfig, ExactFileLayout) {
    const QString expected = QString::fromUtf8(R"({
  "customIcons" : [
    null,
    "\/home\/u\/.local\/share\/Velloq\/CustomIcons\/a.gif",
    null,
    null,
    null,
    null,
    null,
    null,
    null
  ],
  "dockBrightness" : 70,
  "extraRotation" : 180,
  "keys" : [
    {
      "app" : {
        "path" : "\/usr\/share\/applications\/org.gnome.Terminal.desktop"
      }
    },
    {
      "function" : {
        "_0" : "toggleMicMute"
      }
    },
    {
      "keys" : {
        "_0" : {
          "display" : "⇧⌘K",
          "flags" : 1179648,
          "keyCode" : 40
        }
      }
    },
    {
      "url" : {
        "_0" : "github.com"
      }
    },
    {
      "nothing" : {}
    },
    {
      "nothing" : {}
    },
    {
      "nothing" : {}
    },
    {
      "nothing" : {}
    },
    {
      "nothing" : {}
    }
  ],
  "knobStep" : 2.5,
  "knobs" : [
    "volume",
    "nothing",
    "brightness"
  ],
  "nativeIndicators" : true,
  "screensaverAnimation" : "Sports Car",
  "screensaverDelay" : 0.1,
  "screensaverEnabled" : false,
  "screensaverPlayback" : "bounce",
  "screensaverSpeed" : 1,
  "showHUD" : true,
  "snippets" : [
    {
      "id" : "0F8FAD5B-D9CB-469F-A165-70867728950E",
      "name" : "Sig",
      "text" : "Best,\n— A"
    }
  ]
}
)");
    EXPECT_EQ(QString::fromUtf8(*knownConfig().encoded()), expected);
    EXPECT_EQ(DockConfig::decode(expected.toUtf8()), knownConfig());
}

TEST(DockConfig, StringsAreWrittenAsUtf8WithTheFixedEscapes) {
    const QString text = QStringLiteral("a\"\\/\b\f\n\r\t\u0001\u007f\u00e9\u20ac") +
                         QString::fromUcs4(U"\U0001F600") + QChar(0xD800) + QStringLiteral("z");
    EXPECT_EQ(*ConfigJson::write(ConfigJson::Node::of(text)),
              QByteArray(R"("a\"\\\/\b\f\n\r\t\u0001)") +
                  "\x7f\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80" + R"(\ud800z")" + "\n");
}

TEST(DockConfig, NonFiniteFloatsCannotBeEncoded) {
    DockConfig config;
    config.knobStep = std::numeric_limits<double>::quiet_NaN();
    QString error;
    EXPECT_FALSE(config.encoded(&error));
    EXPECT_FALSE(error.isEmpty());
}

class RandomConfigs {
public:
    explicit RandomConfigs(unsigned seed)
        : rng_(seed) {}

    DockConfig next() {
        DockConfig c;
        c.keys.clear();
        const int keyCount = 9 + pick(0, 4);
        for (int i = 0; i < keyCount; ++i)
            c.keys << action();
        c.knobs.clear();
        const int knobCount = 3 + pick(0, 2);
        for (int i = 0; i < knobCount; ++i)
            c.knobs << KnobRole::allCases()[pick(0, 3)];
        c.snippets.clear();
        for (int i = pick(0, 3); i > 0; --i)
            c.snippets << Snippet{QUuid::createUuid(), text(), text()};
        c.dockBrightness = number();
        c.knobStep = number();
        c.extraRotation = pick(-1000, 1000);
        c.showHUD = pick(0, 1);
        c.nativeIndicators = pick(0, 1);
        c.customIcons.clear();
        for (int i = 0; i < keyCount; ++i)
            c.customIcons << (pick(0, 1) ? std::optional<QString>(text()) : std::nullopt);
        c.screensaverEnabled = pick(0, 1);
        c.screensaverDelay = number();
        c.screensaverAnimation = text();
        c.screensaverPlayback = PlaybackMode::allCases()[pick(0, 1)];
        c.screensaverSpeed = number();
        return c;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

    double number() {
        switch (pick(0, 4)) {
        case 0:
            return pick(0, 100);
        case 1:
            return std::uniform_real_distribution<double>(0, 100)(rng_);
        case 2:
            return std::ldexp(std::uniform_real_distribution<double>(1, 2)(rng_),
                              pick(-1000, 1000));
        case 3:
            return -std::uniform_real_distribution<double>(0, 1e-300)(rng_);
        default:
            return std::numeric_limits<double>::denorm_min() * pick(1, 1000);
        }
    }

    QString text() {
        static const char16_t pool[] = {u'a', u'Z', u'/', u'\\', u'"',   u'\n',  u'\t',  u'\x01',
                                        u' ', u'é', u'⌘', u'…',  0xD83D, 0xDE00, 0xDC00, u'\x7f'};
        QString s;
        for (int i = pick(0, 12); i > 0; --i)
            s += QChar(pool[pick(0, std::size(pool) - 1)]);
        return s;
    }

    ButtonAction action() {
        switch (pick(0, 6)) {
        case 0:
            return ButtonAction::nothing();
        case 1:
            return ButtonAction::app(text());
        case 2:
            return ButtonAction::function(ButtonFunction::allCases()[pick(0, 21)]);
        case 3:
            return ButtonAction::snippet(QUuid::createUuid());
        case 4: {
            // The top bit too, as far as the JSON parser (which holds such numbers as
            // doubles) keeps it exactly.
            const uint64_t flags = (pick(0, 3) == 0 ? uint64_t(1) << 63 : 0) |
                                   static_cast<uint64_t>(pick(0, 15)) << 17;
            return ButtonAction::keys({static_cast<uint16_t>(pick(0, 65535)), flags, text()});
        }
        case 5:
            return ButtonAction::shortcut(text());
        default:
            return ButtonAction::url(text());
        }
    }

    std::mt19937 rng_;
};

TEST(DockConfig, RandomConfigurationsRoundTrip) {
    RandomConfigs random(20261208);
    for (int i = 0; i < 300; ++i) {
        const DockConfig config = random.next();
        QString error;
        const auto bytes = config.encoded(&error);
        ASSERT_TRUE(bytes) << error.toStdString();
        const auto back = DockConfig::decode(*bytes);
        ASSERT_TRUE(back) << bytes->constData();
        ASSERT_EQ(*back, config) << bytes->constData() << "\n---\n" << back->encoded()->constData();
        ASSERT_EQ(back->encoded(), bytes); // stable: writing again gives the same bytes
    }
}

using DockConfigFiles = test::FreshDataDir;

TEST_F(DockConfigFiles, ScreensaverURL) {
    DockConfig config;
    const QString file = path() + QStringLiteral("/My Loop.mp4");
    config.screensaverAnimation = file;
    EXPECT_FALSE(config.screensaverURL());
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.close();
    EXPECT_EQ(config.screensaverURL(), file);
    config.screensaverAnimation = path(); // a folder is not an animation
    EXPECT_FALSE(config.screensaverURL());

    config.screensaverAnimation = QStringLiteral("No Such Animation");
    EXPECT_FALSE(config.screensaverURL());
    config.screensaverAnimation = QStringLiteral("../Screensavers/Sports Car");
    EXPECT_FALSE(config.screensaverURL());

    config.screensaverAnimation = QStringLiteral("Sports Car");
    const QString builtIn =
        AppPaths::resourceDir() + QStringLiteral("/Screensavers/Sports Car.mp4");
    if (QFileInfo(builtIn).isFile())
        EXPECT_EQ(config.screensaverURL(), builtIn);
    else
        EXPECT_FALSE(config.screensaverURL());
}

} // namespace
} // namespace velloq
