// Several actions and toggles in the stored form: their round trip, files without them kept
// byte for byte, and the tolerant reading of steps, sides and states.

#include "config/ConfigJson.h"
#include "config/DockConfig.h"

#include <gtest/gtest.h>

namespace velloq {
namespace {

const QUuid kPageID(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));

QString written(const ButtonAction& action) {
    return QString::fromUtf8(*ConfigJson::write(ConfigJson::encode(action)))
        .remove(u' ')
        .remove(u'\n');
}

std::optional<ButtonAction> read(const char* text, bool* repaired = nullptr) {
    return ConfigJson::decodeAction(*ConfigJson::parse(QByteArray(text)), nullptr, repaired);
}

TEST(MultiConfig, StoredFormsRoundTripAndFilesWithoutThemKeepTheirBytes) {
    // A file as written before: pages with images, no new member anywhere.
    DockConfig plain;
    plain.keys[0] = ButtonAction::url(QStringLiteral("debian.org"));
    plain.customIcons[0] = QStringLiteral("/icons/a.png");
    Page page = Page::make(QStringLiteral("Media"));
    page.id = kPageID;
    page.customIcons[2] = QStringLiteral("/icons/b.png");
    plain.pages = {page};
    const QByteArray plainBytes = *plain.encoded();
    for (const char* member : {"onIcons", "toggleStates", "sequence", "toggle", "wait"})
        EXPECT_FALSE(plainBytes.contains(member)) << member;
    const auto plainBack = DockConfig::decodeReporting(plainBytes);
    ASSERT_TRUE(plainBack);
    EXPECT_TRUE(plainBack->droppedMembers.isEmpty());
    EXPECT_EQ(plainBack->config.encoded(), plainBytes);

    // The forms of each kind.
    const ButtonAction sequence =
        ButtonAction::sequence({ButtonAction::snippet(kPageID), ButtonAction::wait(250),
                                ButtonAction::shortcut(QStringLiteral("Build"))});
    EXPECT_EQ(written(sequence),
              u"{\"sequence\":{\"steps\":[{\"snippet\":{\"id\":\"0F8FAD5B-D9CB-469F-A165-"
              u"70867728950E\"}},{\"wait\":{\"ms\":250}},{\"shortcut\":{\"name\":\"Build\"}}]}}");
    const ButtonAction toggle =
        ButtonAction::toggle(ButtonAction::function(ButtonFunction::playPause),
                             ButtonAction::sequence({ButtonAction::url(QStringLiteral("a.org")),
                                                     ButtonAction::wait(0)}));
    EXPECT_EQ(written(toggle),
              u"{\"toggle\":{\"off\":{\"function\":{\"_0\":\"playPause\"}},\"on\":{\"sequence\":"
              u"{\"steps\":[{\"url\":{\"_0\":\"a.org\"}},{\"wait\":{\"ms\":0}}]}}}}");
    EXPECT_EQ(read(written(sequence).toUtf8()), sequence);
    EXPECT_EQ(read(written(toggle).toUtf8()), toggle);

    // The members written only when used, and read back as they were.
    DockConfig config = plain;
    config.keys[1] = sequence;
    config.keys[2] = toggle;
    config.pages[0].keys[3] = toggle;
    config.onIcons[2] = QStringLiteral("/icons/on.png");
    config.pages[0].onIcons[3] = QStringLiteral("/icons/page-on.png");
    config.toggleStates = {{kPageID, 3}, {QUuid(), 2}};
    const QByteArray bytes = *config.encoded();
    EXPECT_TRUE(bytes.contains(R"("toggleStates" : [
    {
      "button" : 4,
      "page" : "0F8FAD5B-D9CB-469F-A165-70867728950E"
    },
    {
      "button" : 3,
      "page" : "00000000-0000-0000-0000-000000000000"
    }
  ])"));
    const auto back = DockConfig::decodeReporting(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->droppedMembers.isEmpty());
    EXPECT_EQ(back->config, config);
    EXPECT_EQ(back->config.encoded(), bytes);
    EXPECT_TRUE(back->config.isToggleOn({kPageID, 3}));
    EXPECT_FALSE(back->config.isToggleOn({kPageID, 2}));
    EXPECT_EQ(back->config.lookOf(kPageID, 3).image, QStringLiteral("/icons/page-on.png"));
    EXPECT_EQ(back->config.lookOf(QUuid(), 2).image, QStringLiteral("/icons/on.png"));

    // Turned off again, a toggle leaves no trace of its state.
    config.toggleStates.clear();
    config.onIcons[2].reset();
    config.pages[0].onIcons[3].reset();
    EXPECT_FALSE(config.encoded()->contains("toggleStates"));
    EXPECT_FALSE(config.encoded()->contains("onIcons"));
}

TEST(MultiConfig, BadStepsSidesAndStatesAreDroppedAlone) {
    bool repaired = false;
    // Unreadable steps, steps that cannot be one and a wait out of range go; the rest keep
    // their order.
    EXPECT_EQ(read(R"({"sequence":{"steps":[
                  {"url":{"_0":"one.org"}}, 7, {"function":{"_0":"fly"}},
                  {"sequence":{"steps":[{"url":{"_0":"x.org"}}]}},
                  {"toggle":{"off":{"nothing":{}},"on":{"nothing":{}}}},
                  {"wait":{"ms":60001}}, {"wait":{"ms":-1}}, {"wait":{}},
                  {"wait":{"ms":60000}}, {"url":{"_0":"two.org"}}]}})",
                   &repaired),
              ButtonAction::sequence({ButtonAction::url(QStringLiteral("one.org")),
                                      ButtonAction::wait(60000),
                                      ButtonAction::url(QStringLiteral("two.org"))}));
    EXPECT_TRUE(repaired);

    // No more than 20 steps; none left is `nothing`.
    QByteArray many = R"({"sequence":{"steps":[)";
    for (int i = 0; i < 25; ++i)
        many += QByteArray(i ? "," : "") + R"({"wait":{"ms":)" + QByteArray::number(i) + "}}";
    many += "]}}";
    const std::optional<ButtonAction> capped = read(many);
    ASSERT_TRUE(capped && capped->sequenceSteps());
    EXPECT_EQ(capped->sequenceSteps()->size(), 20);
    EXPECT_EQ(capped->sequenceSteps()->last(), ButtonAction::wait(19));
    EXPECT_EQ(read(R"({"sequence":{"steps":[7]}})"), ButtonAction::nothing());
    EXPECT_EQ(read(R"({"sequence":{"steps":{}}})"), ButtonAction::nothing());
    EXPECT_EQ(read(R"({"sequence":{}})"), ButtonAction::nothing());

    // A bad side is `nothing`, the other stays.
    const ButtonAction paste = ButtonAction::function(ButtonFunction::paste);
    EXPECT_EQ(read(R"({"toggle":{"off":{"function":{"_0":"paste"}},"on":{"wait":{"ms":5}}}})"),
              ButtonAction::toggle(paste, ButtonAction::nothing()));
    EXPECT_EQ(read(R"({"toggle":{"on":{"function":{"_0":"paste"}},
                                 "off":{"toggle":{"off":{"nothing":{}},"on":{"nothing":{}}}}}})"),
              ButtonAction::toggle(ButtonAction::nothing(), paste));
    EXPECT_EQ(read(R"({"toggle":{}})"),
              ButtonAction::toggle(ButtonAction::nothing(), ButtonAction::nothing()));
    repaired = false;
    EXPECT_TRUE(read(R"({"toggle":{"off":{"nothing":{}},"on":{"nothing":{}}}})", &repaired));
    EXPECT_FALSE(repaired);

    // A wait is no button's action.
    EXPECT_FALSE(read(R"({"wait":{"ms":5}})"));

    // In a file: the keys with a repaired sequence stay (the original is kept aside, as for
    // any member read in part), bad states and image lists go alone, the rest is untouched.
    const auto result = DockConfig::decodeReporting(R"({
        "keys": [{"sequence":{"steps":[{"url":{"_0":"a.org"}}, 3]}},
                 {"toggle":{"off":{"nothing":{}},"on":{"nothing":{}}}}],
        "onIcons": "not a list",
        "toggleStates": [{"page":"00000000-0000-0000-0000-000000000000","button":2},
                         {"page":"00000000-0000-0000-0000-000000000000","button":2},
                         {"page":"not an id","button":1}, {"button":1},
                         {"page":"00000000-0000-0000-0000-000000000000","button":0}],
        "dockBrightness": 40})");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->config.dockBrightness, 40);
    EXPECT_EQ(result->config.keys[0],
              ButtonAction::sequence({ButtonAction::url(QStringLiteral("a.org"))}));
    EXPECT_EQ(result->config.keys[1].kind(), ButtonAction::Kind::toggle);
    EXPECT_EQ(result->config.onIcons, QList<std::optional<QString>>(9));
    EXPECT_EQ(result->config.toggleStates, (QList<ButtonRef>{{QUuid(), 1}}));
    EXPECT_EQ(result->droppedMembers,
              (QList<QString>{QStringLiteral("keys"), QStringLiteral("onIcons"),
                              QStringLiteral("toggleStates")}));
    EXPECT_EQ(DockConfig::decode(*result->config.encoded()), result->config);
}

} // namespace
} // namespace velloq
