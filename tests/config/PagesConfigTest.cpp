// Pages in the stored form: the page action, the "pages" member and its tolerant reading.

#include "config/ConfigJson.h"
#include "config/DockConfig.h"

#include <gtest/gtest.h>

namespace velloq {
namespace {

const QUuid kPageID(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
const QUuid kOtherID(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));

QStringList memberNames(const QByteArray& text) {
    QStringList names;
    const std::optional<ConfigJson::Node> root = ConfigJson::parse(text);
    for (const ConfigJson::Node& member : root->children)
        names << member.key;
    return names;
}

TEST(Pages, PageActionsDecodeAndEncode) {
    const ButtonAction action = ButtonAction::page(kPageID);
    EXPECT_EQ(action.kind().title(), QStringLiteral("Open Page"));
    EXPECT_EQ(action.pageID(), kPageID);
    EXPECT_FALSE(action.snippetID()); // same payload type, other case
    EXPECT_NE(action, ButtonAction::snippet(kPageID));
    EXPECT_EQ(QString::fromUtf8(*ConfigJson::write(ConfigJson::encode(action))),
              QStringLiteral("{\n  \"page\" : {\n    \"id\" : "
                             "\"0F8FAD5B-D9CB-469F-A165-70867728950E\"\n  }\n}\n"));

    const auto decode = [](const char* text) {
        return ConfigJson::decodeAction(*ConfigJson::parse(QByteArray(text)));
    };
    EXPECT_EQ(decode(R"({"page":{"id":"0f8fad5b-d9cb-469f-a165-70867728950e"}})"), action);
    EXPECT_EQ(decode(R"({"page":{"id":"00000000-0000-0000-0000-000000000000"}})"),
              ButtonAction::page(QUuid()));
    EXPECT_FALSE(decode(R"({"page":{"id":"{0f8fad5b-d9cb-469f-a165-70867728950e}"}})"));
    EXPECT_FALSE(decode(R"({"page":{"_0":"0F8FAD5B-D9CB-469F-A165-70867728950E"}})"));
    EXPECT_FALSE(decode(R"({"page":{}, "nothing":{}})"));
}

TEST(Pages, StoredFormRoundTrip) {
    DockConfig config;
    config.keys[0] = ButtonAction::page(kPageID);
    const QByteArray without = *config.encoded();
    EXPECT_EQ(memberNames(without).size(), 14);
    EXPECT_FALSE(memberNames(without).contains(QStringLiteral("pages")));
    EXPECT_EQ(DockConfig::decode(without), config);

    Page page{kPageID, QStringLiteral("Media"), QList<ButtonAction>(9), {}};
    page.keys[0] = ButtonAction::page(QUuid());
    page.keys[1] = ButtonAction::function(ButtonFunction::playPause);
    page.customIcons = QList<std::optional<QString>>(9);
    page.customIcons[1] = QStringLiteral("/icons/play.png");
    config.pages = {page, Page::make(QStringLiteral("Empty"))};
    const QByteArray with = *config.encoded();
    QStringList names = memberNames(with);
    EXPECT_EQ(names.size(), 15);
    EXPECT_EQ(names.removeAll(QStringLiteral("pages")), 1); // in its sorted place
    EXPECT_EQ(names, memberNames(without));
    EXPECT_TRUE(with.contains(R"("id" : "0F8FAD5B-D9CB-469F-A165-70867728950E",)"));
    EXPECT_TRUE(with.contains(R"("name" : "Media")"));

    const auto back = DockConfig::decodeReporting(with);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->droppedMembers.isEmpty());
    EXPECT_EQ(back->config, config);
    EXPECT_EQ(back->config.encoded(), with);
    EXPECT_EQ(back->config.keysOf(kPageID)[1], ButtonAction::function(ButtonFunction::playPause));
    EXPECT_EQ(back->config.keysOf(QUuid())[0], ButtonAction::page(kPageID));
    EXPECT_EQ(back->config.keysOf(kOtherID), back->config.keys); // unknown: home

    // Editing a copy's page leaves the original, whose lists it shared, alone.
    DockConfig copy = config;
    copy.page(kPageID)->name = QStringLiteral("Renamed");
    copy.keysOf(kPageID)[2] = ButtonAction::function(ButtonFunction::copy);
    EXPECT_EQ(config.pages[0].name, QStringLiteral("Media"));
    EXPECT_EQ(config.pages[0].keys[2], ButtonAction::nothing());
}

TEST(Pages, BrokenPagesFallBackWithoutTouchingTheRest) {
    const auto notAList = DockConfig::decodeReporting(
        R"({"pages": {"id":"0F8FAD5B-D9CB-469F-A165-70867728950E"}, "dockBrightness": 40,
            "keys": [{"function":{"_0":"copy"}}]})");
    ASSERT_TRUE(notAList);
    EXPECT_TRUE(notAList->config.pages.isEmpty());
    EXPECT_EQ(notAList->config.dockBrightness, 40);
    EXPECT_EQ(notAList->config.keys[0], ButtonAction::function(ButtonFunction::copy));
    EXPECT_EQ(notAList->droppedMembers, QList<QString>{QStringLiteral("pages")});

    // Pages without a usable id are left out; a bad name, key or image list falls back alone.
    const auto result = DockConfig::decodeReporting(R"({"pages": [
        7,
        {"name": "no id"},
        {"id": "not-a-uuid", "name": "bad id"},
        {"id": "00000000-0000-0000-0000-000000000000", "name": "home's id"},
        {"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "name": 3,
         "keys": [{"function":{"_0":"copy"}}, {"function":{"_0":"sleep"}}],
         "customIcons": ["/a.png"]},
        {"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "name": "twice"},
        {"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": "Fine",
         "keys": [{"url":{"_0":"debian.org"}}], "customIcons": 5}],
        "knobStep": 2})");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->config.knobStep, 2);
    EXPECT_EQ(result->droppedMembers, QList<QString>{QStringLiteral("pages")});
    ASSERT_EQ(result->config.pages.size(), 2);
    const Page& repaired = result->config.pages[0];
    EXPECT_EQ(repaired.id, kPageID);
    EXPECT_EQ(repaired.name, QStringLiteral("Page"));
    EXPECT_EQ(repaired.keys, QList<ButtonAction>(9));
    EXPECT_EQ(repaired.customIcons.size(), 9);
    EXPECT_EQ(repaired.customIcons[0], QStringLiteral("/a.png"));
    const Page& fine = result->config.pages[1];
    EXPECT_EQ(fine.name, QStringLiteral("Fine"));
    ASSERT_EQ(fine.keys.size(), 9);
    EXPECT_EQ(fine.keys[0], ButtonAction::url(QStringLiteral("debian.org")));
    EXPECT_EQ(fine.customIcons, QList<std::optional<QString>>(9));
    // What was read is written and read again unchanged.
    EXPECT_EQ(DockConfig::decode(*result->config.encoded()), result->config);
}

} // namespace
} // namespace velloq
