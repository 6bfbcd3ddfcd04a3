// The stored form of pages that follow apps: "apps" on a page and the top-level "followApps",
// each written only when it is not the default.

#include "config/ConfigJson.h"
#include "config/DockConfig.h"

#include <gtest/gtest.h>

namespace velloq {
namespace {

// A file as Velloq wrote it before pages could list apps: a page, a key that opens it.
const char kFileOfToday[] = R"({
  "customIcons" : [
    null,
    null,
    null,
    null,
    null,
    null,
    null,
    null,
    null
  ],
  "dockBrightness" : 70,
  "extraRotation" : 0,
  "keys" : [
    {
      "page" : {
        "id" : "0F8FAD5B-D9CB-469F-A165-70867728950E"
      }
    },
    {
      "app" : {
        "path" : "\/usr\/share\/applications\/org.gnome.TextEditor.desktop"
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
    },
    {
      "nothing" : {}
    },
    {
      "nothing" : {}
    }
  ],
  "knobStep" : 3,
  "knobs" : [
    "microphone",
    "volume",
    "brightness"
  ],
  "nativeIndicators" : true,
  "pages" : [
    {
      "customIcons" : [
        null,
        "\/icons\/play.png"
      ],
      "id" : "0F8FAD5B-D9CB-469F-A165-70867728950E",
      "keys" : [
        {
          "page" : {
            "id" : "00000000-0000-0000-0000-000000000000"
          }
        }
      ],
      "name" : "Media"
    }
  ],
  "screensaverAnimation" : "Sports Car",
  "screensaverDelay" : 5,
  "screensaverEnabled" : false,
  "screensaverPlayback" : "loop",
  "screensaverSpeed" : 1,
  "showHUD" : true,
  "snippets" : []
}
)";

const QString kEditor = QStringLiteral("/usr/share/applications/org.gnome.TextEditor.desktop");
const QString kBrowser = QStringLiteral("/usr/share/applications/firefox-esr.desktop");

DockConfig decoded(const QByteArray& text) {
    return DockConfig::decode(text).value_or(DockConfig());
}

TEST(FollowConfig, AFileWithoutAppsIsWrittenByteForByteAsToday) {
    // Short lists are padded when read; written back padded, which is today's form as well.
    DockConfig config = decoded(kFileOfToday);
    EXPECT_TRUE(config.followApps);
    EXPECT_TRUE(config.pages.at(0).apps.isEmpty());
    config.pages[0].customIcons.resize(2);
    config.pages[0].keys.resize(1);
    EXPECT_EQ(*config.encoded(), QByteArray(kFileOfToday));
}

TEST(FollowConfig, AppsAndFollowAppsRoundTrip) {
    DockConfig config = decoded(kFileOfToday);
    config.pages[0].apps = {kEditor, kBrowser};
    config.followApps = false;
    const QByteArray text = *config.encoded();
    EXPECT_TRUE(text.contains("\"followApps\" : false,\n  \"keys\""));
    EXPECT_TRUE(text.contains("      \"apps\" : [\n"
                              "        \"\\/usr\\/share\\/applications\\/org.gnome.TextEditor."
                              "desktop\",\n"));
    const DockConfig back = decoded(text);
    EXPECT_EQ(back, config);
    EXPECT_EQ(back.pageListing(kBrowser), &back.pages[0]);
    EXPECT_EQ(back.pageListing(QStringLiteral("/nowhere.desktop")), nullptr);

    // Back to the defaults: both members go, and the bytes are today's again.
    config.pages[0].apps.clear();
    config.followApps = true;
    EXPECT_FALSE(config.encoded()->contains("apps"));
}

TEST(FollowConfig, BadEntriesAndListsAreDroppedTheRestKept) {
    QByteArray text(kFileOfToday);
    text.replace("\"name\" : \"Media\"",
                 R"("name" : "Media", "apps" : ["/a.desktop", 5, "relative.desktop", null,
                    "/b.desktop", "/a.desktop"])");
    DockConfig::Decoded result = *DockConfig::decodeReporting(text);
    EXPECT_EQ(result.config.pages.at(0).apps,
              QStringList({QStringLiteral("/a.desktop"), QStringLiteral("/b.desktop")}));
    EXPECT_EQ(result.config.pages.at(0).name, QStringLiteral("Media"));
    EXPECT_EQ(result.droppedMembers, QList<QString>{QStringLiteral("pages")});

    text = QByteArray(kFileOfToday);
    text.replace("\"name\" : \"Media\"", R"("name" : "Media", "apps" : {"a" : "/a.desktop"})");
    text.replace("\"knobStep\" : 3", R"("knobStep" : 3, "followApps" : "no")");
    result = *DockConfig::decodeReporting(text);
    EXPECT_TRUE(result.config.pages.at(0).apps.isEmpty());
    EXPECT_EQ(result.config.pages.at(0).keys.at(0), ButtonAction::page(QUuid()));
    EXPECT_TRUE(result.config.followApps);
    EXPECT_EQ(result.droppedMembers,
              QList<QString>({QStringLiteral("pages"), QStringLiteral("followApps")}));
}

} // namespace
} // namespace velloq
