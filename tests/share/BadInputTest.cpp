// Every kind of bad .velloq file is refused with one sentence, before anything changes: the
// configuration, its file and CustomIcons stay as they were.

#include "share/ShareFixture.h"
#include "share/ZipMaker.h"

#include <QBuffer>

using namespace velloq;
using namespace velloq::test;

namespace {

QByteArray pageJson(const QByteArray& icon = "images/1.png", const QByteArray& format = "1") {
    return "{\"format\":" + format +
           ",\"kind\":\"page\",\"page\":{\"id\":\"0F8FAD5B-D9CB-469F-A165-70867728950E\","
           "\"name\":\"Shared\",\"keys\":[{\"function\":{\"_0\":\"copy\"}}],\"customIcons\":[\"" +
           icon + "\"]},\"snippets\":[]}";
}

QByteArray png() {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return bytes;
}

// A good page file with `extra` added.
QByteArray goodPage(const std::function<void(ZipMaker&)>& extra) {
    ZipMaker zip;
    zip.add(QStringLiteral("velloq.json"), pageJson());
    zip.add(QStringLiteral("images/1.png"), png(), ZipMaker::kFile, true);
    extra(zip);
    return zip.bytes();
}

QByteArray only(const QString& name, const QByteArray& bytes, uint32_t mode = ZipMaker::kFile) {
    ZipMaker zip;
    zip.add(name, bytes, mode);
    return zip.bytes();
}

struct BadFile {
    const char* name;
    std::function<QByteArray()> make;
    const char* says; // a part of the sentence
};

const BadFile kBadFiles[] = {
    {"NotAZip", [] { return QByteArray("These are not the bytes of a zip archive.\n"); },
     "“bad.velloq” is not a zip archive."},
    {"Empty", [] { return QByteArray(); }, "is not a zip archive"},
    {"ZipWithoutVelloqJson", [] { return only(QStringLiteral("readme.txt"), "hello"); },
     "“bad.velloq” is not a Velloq file (it holds no velloq.json)."},
    {"NewerFormat",
     [] {
         ZipMaker zip;
         zip.add(QStringLiteral("velloq.json"), pageJson("images/1.png", "2"));
         zip.add(QStringLiteral("images/1.png"), png());
         return zip.bytes();
     },
     "was made by a newer version of Velloq (format 2"},
    {"FormatMissing", [] { return only(QStringLiteral("velloq.json"), "{\"kind\":\"page\"}"); },
     "is not a Velloq file."},
    {"AbsolutePath",
     [] { return goodPage([](ZipMaker& z) { z.add(QStringLiteral("/etc/motd"), "x"); }); },
     "holds an entry with an unsafe name (“/etc/motd”)."},
    {"DotDotPath",
     [] {
         return goodPage([](ZipMaker& z) { z.add(QStringLiteral("images/../../evil.png"), "x"); });
     },
     "unsafe name (“images/../../evil.png”)"},
    {"LinkEntry",
     [] {
         ZipMaker zip;
         zip.add(QStringLiteral("velloq.json"), pageJson());
         zip.add(QStringLiteral("images/1.png"), "/etc/passwd", ZipMaker::kLink);
         return zip.bytes();
     },
     "holds “images/1.png”, which is a link"},
    {"DeviceEntry",
     [] {
         return goodPage([](ZipMaker& z) {
             z.add(QStringLiteral("tty"), QByteArray(), ZipMaker::kCharDevice);
         });
     },
     "holds “tty”, which is a link or a device."},
    {"FolderForVelloqJson",
     [] { return only(QStringLiteral("velloq.json/"), QByteArray(), ZipMaker::kFolder); },
     "holds “velloq.json” as a folder where a file is expected."},
    {"FolderForAnImage",
     [] {
         ZipMaker zip;
         zip.add(QStringLiteral("velloq.json"), pageJson());
         zip.add(QStringLiteral("images/1.png/"), QByteArray(), ZipMaker::kFolder);
         return zip.bytes();
     },
     "holds “images/1.png” as a folder where an image is expected."},
    {"MoreThan1000Entries",
     [] {
         return goodPage([](ZipMaker& z) {
             for (int i = 0; i < 999; ++i)
                 z.add(QStringLiteral("images/extra-%1.txt").arg(i), "x", ZipMaker::kFile, true);
         });
     },
     "holds more than 1000 entries."},
    {"EntryOver64MiBThatClaimsLess",
     [] {
         ZipMaker zip;
         zip.add(QStringLiteral("velloq.json"), pageJson());
         zip.addZeros(QStringLiteral("images/1.png"), qint64(100) << 20, 1000);
         return zip.bytes();
     },
     "holds “images/1.png”, which is larger than 64 MiB."},
    {"TotalOver256MiB",
     [] {
         return goodPage([](ZipMaker& z) {
             for (int i = 0; i < 5; ++i)
                 z.addZeros(QStringLiteral("images/filler-%1").arg(i), qint64(60) << 20);
         });
     },
     "expands to more than 256 MiB."},
    {"JsonThatDoesNotDecode",
     [] { return only(QStringLiteral("velloq.json"), "{\"format\": 1, \"kind\": "); },
     "The settings in “bad.velloq” do not decode"},
    {"SettingThatDoesNotDecode",
     [] {
         return only(QStringLiteral("velloq.json"),
                     "{\"format\":1,\"kind\":\"setup\",\"setup\":{\"keys\":5,\"knobStep\":3}}");
     },
     "The settings in “bad.velloq” do not decode (keys)."},
    {"UnknownKind",
     [] { return only(QStringLiteral("velloq.json"), "{\"format\":1,\"kind\":\"theme\"}"); },
     "is not a Velloq file."},
    {"ImageThatDoesNotDecode",
     [] {
         ZipMaker zip;
         zip.add(QStringLiteral("velloq.json"), pageJson());
         zip.add(QStringLiteral("images/1.png"), "\x89PNG\r\n\x1a\n but then nothing");
         return zip.bytes();
     },
     "The image “images/1.png” in “bad.velloq” does not decode."},
    {"VideoThatDoesNotDecode",
     [] {
         ZipMaker zip;
         zip.add(QStringLiteral("velloq.json"),
                 "{\"format\":1,\"kind\":\"setup\",\"setup\":{\"screensaverAnimation\":"
                 "\"images/1.mp4\"}}");
         zip.add(QStringLiteral("images/1.mp4"), QByteArray(4096, 'v'));
         return zip.bytes();
     },
     "The image “images/1.mp4” in “bad.velloq” does not decode."},
    {"ImageNotInTheFile",
     [] { return only(QStringLiteral("velloq.json"), pageJson("images/2.png")); },
     "names an image that is not in it (“images/2.png”)."},
    {"ImageOutsideTheFile",
     [] { return only(QStringLiteral("velloq.json"), pageJson("/etc/motd")); },
     "names an image that is not in it (“/etc/motd”)."},
};

void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.name;
}

class BadInput : public ShareTest, public ::testing::WithParamInterface<BadFile> {};

} // namespace

TEST_P(BadInput, ChangesNothingAndSaysWhy) {
    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.pages << Page::make(QStringLiteral("Shared"));
    make(config);
    ASSERT_TRUE(
        controller->useCustomIcon(0, makeImage(workDir() + QStringLiteral("/k.png"), Qt::red)));
    const DockConfig before = controller->config();
    const QByteArray saved = savedBytes();
    const auto icons = filesIn(customIconsDir());
    const auto profile = filesIn(dataDir());

    const QString path = workDir() + QStringLiteral("/bad.velloq");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(GetParam().make());
    file.close();
    const QString error = importFile(path);

    EXPECT_TRUE(error.contains(QString::fromUtf8(GetParam().says))) << error.toStdString();
    EXPECT_FALSE(error.contains(u'\n'));
    EXPECT_EQ(controller->config(), before);
    EXPECT_EQ(savedBytes(), saved);
    EXPECT_EQ(filesIn(customIconsDir()), icons);
    EXPECT_EQ(filesIn(dataDir()), profile);
    EXPECT_FALSE(QDir(dataDir() + QStringLiteral("/Screensavers")).exists());
}

INSTANTIATE_TEST_SUITE_P(Share, BadInput, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(ShareTest, AGoodFileMadeTheSameWayIsTaken) {
    // The bad files above differ from this one only in their fault.
    make();
    const QString path = workDir() + QStringLiteral("/good.velloq");
    ZipMaker zip;
    zip.add(QStringLiteral("velloq.json"), pageJson());
    zip.add(QStringLiteral("images/1.png"), png(), ZipMaker::kFile, true);
    zip.add(QStringLiteral("images/"), QByteArray(), ZipMaker::kFolder); // folders are fine
    ASSERT_TRUE(zip.write(path));
    ASSERT_EQ(importFile(path), QString());
    EXPECT_EQ(controller->config().pages.size(), 1);
    EXPECT_EQ(filesIn(customIconsDir()).size(), 1);
}
