#include "config/ActionModel.h"
#include "config/ConfigJson.h"

#include <QMap>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace velloq {
namespace {

ConfigJson::Node json(QByteArrayView text) {
    const std::optional<ConfigJson::Node> node = ConfigJson::parse(text);
    EXPECT_TRUE(node) << text.toByteArray().constData();
    return node.value_or(ConfigJson::Node{});
}

QString written(const ConfigJson::Node& node) {
    return QString::fromUtf8(*ConfigJson::write(node));
}

TEST(ActionModel, FunctionTableAndMenuOrder) {
    const auto& all = ButtonFunction::allCases();
    ASSERT_EQ(all.size(), 22);
    QStringList raws;
    QMap<QString, int> perSection;
    QStringList sectionOrder;
    for (ButtonFunction f : all) {
        raws << f.rawValue();
        ++perSection[f.section()];
        if (!sectionOrder.contains(f.section()))
            sectionOrder << f.section();
        EXPECT_EQ(ButtonFunction::fromRawValue(f.rawValue()), f);
        EXPECT_EQ(f.id(), f.rawValue());
    }
    EXPECT_EQ(raws.first(), QStringLiteral("copy"));
    EXPECT_EQ(raws.last(), QStringLiteral("toggleMicMute"));
    EXPECT_EQ(sectionOrder, ButtonFunction::sections());
    EXPECT_EQ(sectionOrder, QStringList({QStringLiteral("Editing"), QStringLiteral("System"),
                                         QStringLiteral("Media & Audio")}));
    EXPECT_EQ(perSection[QStringLiteral("Editing")], 7);
    EXPECT_EQ(perSection[QStringLiteral("System")], 10);
    EXPECT_EQ(perSection[QStringLiteral("Media & Audio")], 5);

    const ButtonFunction forceQuit = ButtonFunction::forceQuit;
    EXPECT_EQ(forceQuit.title(), QString::fromUtf8("Force Quit an App\u2026"));
    EXPECT_FALSE(forceQuit.needsAccessibility());
    EXPECT_EQ(ButtonFunction(ButtonFunction::screenshot).title(),
              QStringLiteral("Screenshot (Area)"));
    EXPECT_EQ(ButtonFunction(ButtonFunction::toggleMicMute).symbol(),
              QStringLiteral("mic.slash.fill"));
    EXPECT_TRUE(ButtonFunction(ButtonFunction::playPause).needsAccessibility());
    EXPECT_FALSE(ButtonFunction(ButtonFunction::sleepDisplay).needsAccessibility());
    EXPECT_FALSE(ButtonFunction::fromRawValue(QStringLiteral("sleep")));
    EXPECT_FALSE(ButtonFunction::fromRawValue(QStringLiteral("Copy")));
}

TEST(ActionModel, LinuxWordsAndKeyNotationLeaveStoredValuesAlone) {
    const ButtonFunction overview = ButtonFunction::missionControl;
    EXPECT_EQ(overview.title(), u"Overview");
    EXPECT_EQ(overview.rawValue(), u"missionControl");
    const ButtonFunction search = ButtonFunction::spotlight;
    EXPECT_EQ(search.title(), u"Search");
    EXPECT_EQ(search.rawValue(), u"spotlight");

    auto shown = [](const char* stored) {
        return KeyCombo{0, 0, QString::fromUtf8(stored)}.displayText();
    };
    // Glyphs in any order come out as Ctrl, Alt, Shift, Super; key glyphs get their names.
    EXPECT_EQ(shown("⇧⌘K"), u"Shift+Super+K");
    EXPECT_EQ(shown("⌘⇧⌥⌃Z"), u"Ctrl+Alt+Shift+Super+Z");
    EXPECT_EQ(shown("⌃⌥⌫"), u"Ctrl+Alt+Backspace");
    EXPECT_EQ(shown("⎋"), u"Esc");
    EXPECT_EQ(shown("F5"), u"F5");
    EXPECT_EQ(shown("Ctrl+Shift+K"), u"Ctrl+Shift+K");
    EXPECT_EQ(shown("⌃+"), u"Ctrl++");
    // Shown differently, stored as it was.
    const KeyCombo old{40, 0x120000, QStringLiteral("⇧⌘K")};
    EXPECT_EQ(ConfigJson::decodeKeyCombo(ConfigJson::encode(old)), old);
}

TEST(ActionModel, KindsRolesAndModes) {
    QStringList kinds;
    for (ButtonAction::Kind k : ButtonAction::Kind::allCases())
        kinds << k.rawValue();
    EXPECT_EQ(kinds, QStringList({"Nothing", "Open App", "Function", "Paste Snippet",
                                  "Keyboard Shortcut", "Run Shortcut", "Open Website", "Open Page",
                                  "Several Actions", "Toggle"}));
    EXPECT_EQ(
        ButtonAction::keys(KeyCombo{40, KeyCombo::kCommand, QStringLiteral("⌘K")}).kind().title(),
        QStringLiteral("Keyboard Shortcut"));
    EXPECT_EQ(ButtonAction::nothing().kind().title(), QStringLiteral("Nothing"));
    // The script kind reads the Linux way; its stored id stays.
    EXPECT_EQ(ButtonAction::shortcut(QString()).kind().title(), QStringLiteral("Run Script"));
    EXPECT_EQ(ButtonAction().kind(), ButtonAction::Kind::nothing);
    EXPECT_EQ(ButtonAction::url(QStringLiteral("x")).kind(), ButtonAction::Kind::url);
    EXPECT_EQ(ButtonAction::Kind::fromRawValue(QStringLiteral("Open Website")),
              ButtonAction::Kind::url);
    EXPECT_FALSE(ButtonAction::Kind::fromRawValue(QStringLiteral("url")));

    QStringList roles;
    for (KnobRole r : KnobRole::allCases())
        roles << r.rawValue();
    EXPECT_EQ(roles, QStringList({"volume", "microphone", "brightness", "nothing"}));
    EXPECT_FALSE(KnobRole::fromRawValue(QStringLiteral("Volume")));
    EXPECT_EQ(PlaybackMode::fromRawValue(QStringLiteral("bounce")), PlaybackMode::bounce);
    EXPECT_FALSE(PlaybackMode::fromRawValue(QStringLiteral("reverse")));
}

TEST(ActionModel, EqualityComparesCaseAndPayload) {
    const QUuid id = QUuid::createUuid();
    EXPECT_EQ(ButtonAction::snippet(id), ButtonAction::snippet(id));
    EXPECT_NE(ButtonAction::snippet(id), ButtonAction::snippet(QUuid::createUuid()));
    EXPECT_NE(ButtonAction::app(QStringLiteral("a")), ButtonAction::shortcut(QStringLiteral("a")));
    EXPECT_NE(ButtonAction::url(QStringLiteral("a")), ButtonAction::app(QStringLiteral("a")));
    EXPECT_NE(ButtonAction::keys(KeyCombo{1, 0, QStringLiteral("A")}),
              ButtonAction::keys(KeyCombo{1, KeyCombo::kShift, QStringLiteral("A")}));
    EXPECT_EQ(ButtonAction::app(QStringLiteral("/a")).appPath(), QStringLiteral("/a"));
    EXPECT_FALSE(ButtonAction::app(QStringLiteral("/a")).urlText());
}

TEST(ActionModel, DecoderNeedsExactlyOneCaseName) {
    QString error;
    EXPECT_EQ(ConfigJson::decodeAction(json(R"({"nothing":{}})")), ButtonAction::nothing());
    EXPECT_EQ(ConfigJson::decodeAction(json(R"({"nothing":{},"extra":1})")),
              ButtonAction::nothing());
    for (const char* bad :
         {R"({})", R"({"app":{"path":"x"},"url":{"_0":"y"}})", R"({"Nothing":{}})"}) {
        error.clear();
        EXPECT_FALSE(ConfigJson::decodeAction(json(bad), &error)) << bad;
        EXPECT_EQ(error, QStringLiteral("Invalid number of keys found, expected one.")) << bad;
    }
}

TEST(ActionModel, DecoderPayloads) {
    EXPECT_FALSE(ConfigJson::decodeAction(json(R"({"function":{"_0":"sleep"}})")));
    EXPECT_EQ(ConfigJson::decodeAction(json(R"({"function":{"_0":"sleepDisplay"}})")),
              ButtonAction::function(ButtonFunction::sleepDisplay));
    EXPECT_EQ(ConfigJson::decodeAction(json(R"({"app":{"path":"\/usr\/bin\/x","other":1}})")),
              ButtonAction::app(QStringLiteral("/usr/bin/x")));
    EXPECT_EQ(ConfigJson::decodeAction(json(R"({"url":{"_0":"example.com/a"}})")),
              ButtonAction::url(QStringLiteral("example.com/a")));
    EXPECT_EQ(ConfigJson::decodeAction(json(R"({"shortcut":{"name":"Backup"}})")),
              ButtonAction::shortcut(QStringLiteral("Backup")));
    EXPECT_EQ(ConfigJson::decodeAction(
                  json(R"({"snippet":{"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f"}})")),
              ButtonAction::snippet(QUuid(QStringLiteral("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"))));

    const char* failing[] = {
        R"({"nothing":[]})",
        R"({"nothing":null})",
        R"({"app":{}})",
        R"({"app":{"path":null}})",
        R"({"app":{"path":3}})",
        R"({"url":{"path":"x"}})",
        R"({"function":{"_0":1}})",
        R"({"snippet":{"id":"{e621e1f8-c36c-495a-93fc-0c247a3e6e5f}"}})",
        R"({"snippet":{"id":"not-a-uuid"}})",
        R"({"keys":{"_0":{"keyCode":70000,"flags":0,"display":"x"}}})",
        R"({"keys":{"_0":{"keyCode":-1,"flags":0,"display":"x"}}})",
        R"({"keys":{"_0":{"keyCode":40.5,"flags":0,"display":"x"}}})",
        R"({"keys":{"_0":{"keyCode":40,"flags":-1,"display":"x"}}})",
        R"({"keys":{"_0":{"keyCode":40,"display":"x"}}})",
        R"({"keys":{"_0":{"keyCode":40,"flags":0,"display":null}}})",
        R"(["nothing"])",
    };
    for (const char* text : failing)
        EXPECT_FALSE(ConfigJson::decodeAction(json(text))) << text;
}

TEST(ActionModel, KeyComboLimits) {
    EXPECT_EQ(ConfigJson::decodeKeyCombo(
                  json(R"({"keyCode":65535,"flags":9223372036854775808,"display":""})")),
              (KeyCombo{65535, uint64_t(1) << 63, QString()}));
    EXPECT_FALSE(ConfigJson::decodeKeyCombo(
        json(R"({"keyCode":0,"flags":18446744073709551616,"display":""})")));
    EXPECT_EQ(ConfigJson::decodeKeyCombo(json(R"({"keyCode":40,"flags":1179648,"display":"⇧⌘K"})")),
              (KeyCombo{40, KeyCombo::kShift | KeyCombo::kCommand, QStringLiteral("⇧⌘K")}));
    EXPECT_FALSE(ConfigJson::decodeKeyCombo(json(R"({"keyCode":65536,"flags":0,"display":""})")));
    EXPECT_FALSE(ConfigJson::decodeKeyCombo(json(R"({"keyCode":"40","flags":0,"display":""})")));
    // Every unsigned 64-bit mask exactly, not through a double.
    for (const auto& [text, flags] : std::vector<std::pair<const char*, uint64_t>>{
             {"18446744073709551615", UINT64_MAX},
             {"9223372036854775809", (uint64_t(1) << 63) + 1},
             {"9007199254740993", (uint64_t(1) << 53) + 1}}) {
        const auto combo = ConfigJson::decodeKeyCombo(
            json(QByteArray(QByteArray(R"({"keyCode":1,"display":"","flags":)") + text + "}")));
        ASSERT_TRUE(combo) << text;
        EXPECT_EQ(combo->flags, flags) << text;
        EXPECT_TRUE(written(ConfigJson::encode(*combo)).contains(QLatin1String(text)));
    }
}

TEST(ActionModel, ReaderTakesJsonAndRefusesTheRest) {
    const auto parsed = ConfigJson::parse(R"( {"a": [1, -2, 3.5, 1e2, true, null, "\u00e9"],
                                               "a": "last", "b": {}} )");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->member(u"a")->string, QStringLiteral("last")); // as Qt: the last wins
    EXPECT_EQ(ConfigJson::parse(R"(["\u00e9\ud83d\ude00"])")->children[0].string,
              QString::fromUtf8("\xc3\xa9\xf0\x9f\x98\x80"));
    EXPECT_EQ(ConfigJson::parse("[-9223372036854775808]")->children[0].integer, INT64_MIN);
    EXPECT_EQ(ConfigJson::parse("\xEF\xBB\xBF[1]")->children[0].integer, 1);
    // Unlike Qt's parser: no lone surrogates, and no number that overflows a double.
    for (const char* bad : {"", "{", "{}x", "{\"a\" 1}", "[1,]", "[01]", "[1.]", "[-]",
                            "[\"\x01\"]", "[\"\xc3\"]", "[\"\xed\xa0\x80\"]", "[\"\\x\"]", "[tru]",
                            "'a'", "[\"\\ud800\"]", "[1e400]", "\xEF\xBB\xBF\xEF\xBB\xBF[1]"})
        EXPECT_FALSE(ConfigJson::parse(bad)) << bad;
    // So a lone surrogate is written as U+FFFD, keeping the file readable.
    const auto lone = ConfigJson::write(ConfigJson::Node::array().append(
        ConfigJson::Node::of(QStringLiteral("a") + QChar(0xDC00))));
    ASSERT_TRUE(lone);
    EXPECT_EQ(ConfigJson::parse(*lone)->children[0].string, QStringLiteral("a\uFFFD"));
    QString error;
    EXPECT_FALSE(ConfigJson::parse("[1, x]", &error));
    EXPECT_EQ(error, QStringLiteral("syntax error at byte 5"));
    EXPECT_FALSE(ConfigJson::parse(QByteArray(QByteArray(600, '[') + QByteArray(600, ']'))));
    EXPECT_TRUE(ConfigJson::parse(QByteArray(QByteArray(500, '[') + QByteArray(500, ']'))));
}

TEST(ActionModel, EncodedForms) {
    const QUuid id(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));
    EXPECT_EQ(written(ConfigJson::encode(ButtonAction::nothing())),
              QStringLiteral("{\n  \"nothing\" : {}\n}\n"));
    EXPECT_EQ(
        written(ConfigJson::encode(ButtonAction::keys({40, 1179648, QStringLiteral("⇧⌘K")}))),
        QStringLiteral("{\n  \"keys\" : {\n    \"_0\" : {\n      \"display\" : \"⇧⌘K\",\n"
                       "      \"flags\" : 1179648,\n      \"keyCode\" : 40\n    }\n  }\n}\n"));
    EXPECT_EQ(written(ConfigJson::encode(ButtonAction::snippet(id))),
              QStringLiteral("{\n  \"snippet\" : {\n    \"id\" : "
                             "\"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\"\n  }\n}\n"));
    EXPECT_EQ(written(ConfigJson::encode(ButtonAction::app(QStringLiteral("/opt/a b\"c")))),
              QStringLiteral("{\n  \"app\" : {\n    \"path\" : \"\\/opt\\/a b\\\"c\"\n  }\n}\n"));
    EXPECT_EQ(written(ConfigJson::encode(ButtonAction::function(ButtonFunction::toggleMicMute))),
              QStringLiteral("{\n  \"function\" : {\n    \"_0\" : \"toggleMicMute\"\n  }\n}\n"));
}

TEST(ActionModel, EveryCaseRoundTrips) {
    QList<ButtonAction> actions{
        ButtonAction::nothing(),
        ButtonAction::app(QStringLiteral("/usr/share/applications/firefox.desktop")),
        ButtonAction::snippet(QUuid::createUuid()),
        ButtonAction::keys({53, 0, QStringLiteral("⎋")}),
        ButtonAction::shortcut(QStringLiteral("Say \"hi\"\n")),
        ButtonAction::url(QStringLiteral("https://example.com/?q=a&b=\\")),
    };
    for (ButtonFunction f : ButtonFunction::allCases())
        actions << ButtonAction::function(f);
    for (const ButtonAction& action : actions) {
        const QByteArray text = *ConfigJson::write(ConfigJson::encode(action));
        QString error;
        EXPECT_EQ(ConfigJson::decodeAction(json(text.constData()), &error), action)
            << error.toStdString();
    }
}

} // namespace
} // namespace velloq
