#include "siteicons/LinkParser.h"
#include "siteicons/IconImage.h"
#include "siteicons/SiteIcons.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace velloq;

namespace {

const QUrl kBase(QStringLiteral("https://www.example.com/docs/page.html"));

QStringList links(const QString& html, const QUrl& base = kBase) {
    QStringList out;
    for (const QUrl& url : SiteIcons::iconLinks(html, base))
        out.append(url.toString());
    return out;
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

QImage square(int width, int height = 0) {
    QImage image(width, height > 0 ? height : width, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    return image;
}

// An ICO holding one entry per width, made from Qt's single-entry ICO files.
QByteArray multiIco(const QList<int>& widths) {
    QList<QByteArray> entries, payloads;
    for (int width : widths) {
        const QByteArray single = encoded(square(width), "ico");
        entries.append(single.mid(6, 16));
        payloads.append(single.mid(qFromLittleEndian<quint32>(single.constData() + 18)));
    }
    QByteArray out(6, '\0');
    out[2] = 1;
    out[4] = static_cast<char>(widths.size());
    quint32 offset = static_cast<quint32>(6 + 16 * widths.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QByteArray entry = entries[i];
        qToLittleEndian<quint32>(offset, entry.data() + 12);
        out += entry;
        offset += static_cast<quint32>(payloads[i].size());
    }
    for (const QByteArray& payload : payloads)
        out += payload;
    return out;
}

} // namespace

TEST(LinkParser, OrdersByScoreKeepingDocumentOrderOnTies) {
    // apple-touch 180 scores 10180 against 32; 2048 is counted as 1024, so it ties with the
    // earlier 1024 link and stays behind it; "16x16 32x32" counts 16 and loses to 20.
    const QString html =
        QStringLiteral("<link rel=\"icon\" href=\"/i32.png\" sizes=\"32x32\">"
                       "<link rel=\"icon\" href=\"/i16.png\" sizes=\"16x16 32x32\">"
                       "<link rel=\"icon\" href=\"/i20.png\" sizes=\"20x20\">"
                       "<link rel=\"icon\" href=\"/i1024.png\" sizes=\"1024x1024\">"
                       "<link rel=\"icon\" href=\"/i2048.png\" sizes=\"2048x2048\">"
                       "<link rel=\"apple-touch-icon\" href=\"/touch.png\" sizes=\"180x180\">"
                       "<link rel=\"shortcut icon\" href=\"/any.ico\" sizes=\"any\">");
    EXPECT_EQ(links(html), (QStringList{
                               QStringLiteral("https://www.example.com/touch.png"),
                               QStringLiteral("https://www.example.com/i1024.png"),
                               QStringLiteral("https://www.example.com/i2048.png"),
                               QStringLiteral("https://www.example.com/i32.png"),
                               QStringLiteral("https://www.example.com/i20.png"),
                               QStringLiteral("https://www.example.com/i16.png"),
                               QStringLiteral("https://www.example.com/any.ico"),
                           }));
}

TEST(LinkParser, DeclaredSizes) {
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("180x180")), 180);
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("16x16 32x32")), 16);
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("2048x2048")), 1024);
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("any")), 0);
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("")), 0);
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("64X64")), 0); // only lower-case x splits
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral(" 64x64")), 0);
    EXPECT_EQ(LinkParser::declaredSize(QStringLiteral("99999999999999999999999x1")), 0);
}

TEST(LinkParser, KeepsOnlyUsableIconLinks) {
    const QString html =
        QStringLiteral("<link rel=\"mask-icon\" href=\"/mask.svg\">"
                       "<link rel=\"icon\" href=\"data:image/png;base64,iVBORw0KGgo=\">"
                       "<link rel=\"stylesheet\" href=\"/style.css\">"
                       "<link href=\"/norel.png\">"
                       "<link rel=\"icon\" href=\"\">"
                       "<link rel=\"icon\">"
                       "<linked rel=\"icon\" href=\"/not-a-link-tag.png\">"
                       "<LINK REL=\"Shortcut Icon\" HREF=\"/upper.ico\">"
                       "<link rel='icon' href='/single.png'>"
                       "<link rel=icon href=/bare.png>"
                       "<link rel=\"icon\" href=\"/a.png?x=1&amp;y=2\">"
                       "<link rel=\"icon\" href=\"/first.png\" href=\"/second.png\">"
                       "<link rel=\"icon\" href=\"rel.png\">"
                       "<link rel=\"icon\" href=\"//cdn.example.net/cdn.png\">");
    EXPECT_EQ(links(html), (QStringList{
                               QStringLiteral("https://www.example.com/upper.ico"),
                               QStringLiteral("https://www.example.com/single.png"),
                               QStringLiteral("https://www.example.com/bare.png"),
                               QStringLiteral("https://www.example.com/a.png?x=1&y=2"),
                               QStringLiteral("https://www.example.com/second.png"),
                               QStringLiteral("https://www.example.com/docs/rel.png"),
                               QStringLiteral("https://cdn.example.net/cdn.png"),
                           }));
}

TEST(LinkParser, FallbacksAreAppendedOnceAtTheSiteRoot) {
    const auto list = [](const std::optional<QByteArray>& body) {
        QStringList out;
        for (const QUrl& url : LinkParser::pageCandidates(body, kBase))
            out.append(url.toString());
        return out;
    };
    EXPECT_EQ(list(std::nullopt),
              (QStringList{QStringLiteral("https://www.example.com/apple-touch-icon.png"),
                           QStringLiteral("https://www.example.com/favicon.ico")}));
    EXPECT_EQ(list(QByteArray("<link rel=icon href=\"/favicon.ico\">"
                              "<link rel=icon href=\"/docs/x.png\" sizes=8x8>")),
              (QStringList{QStringLiteral("https://www.example.com/docs/x.png"),
                           QStringLiteral("https://www.example.com/favicon.ico"),
                           QStringLiteral("https://www.example.com/apple-touch-icon.png")}));
}

TEST(LinkParser, DecodesUtf8ElseLatin1) {
    EXPECT_EQ(LinkParser::decodePage(QByteArray("caf\xc3\xa9")), QStringLiteral("café"));
    EXPECT_EQ(LinkParser::decodePage(QByteArray("caf\xe9")), QStringLiteral("café"));
    // A page cut inside a character loses only that character, not its UTF-8 reading.
    const QByteArray cut = QByteArray("a\xc3\xa9\xe2\x82", 5);
    EXPECT_EQ(LinkParser::withoutPartialUtf8Tail(cut), QByteArray("a\xc3\xa9"));
    EXPECT_EQ(LinkParser::withoutPartialUtf8Tail(QByteArray("a\xc3\xa9")), QByteArray("a\xc3\xa9"));
    EXPECT_EQ(LinkParser::withoutPartialUtf8Tail(QByteArray("abc")), QByteArray("abc"));
}

TEST(LinkParser, HugeTagsAndUnterminatedLinksParse) {
    // Very long tags and a tail of unterminated links still parse to the right answer.
    const QString longName =
        QStringLiteral("<link rel=icon href=/x.png ") + QString(400000, u'a') + QStringLiteral(">");
    EXPECT_EQ(links(longName), QStringList{QStringLiteral("https://www.example.com/x.png")});
    const QString unterminated =
        QStringLiteral("<link rel=icon href=/y.png>") + QStringLiteral("<link").repeated(80000);
    EXPECT_EQ(links(unterminated), QStringList{QStringLiteral("https://www.example.com/y.png")});
}

TEST(IconImage, ReadsEveryIconFormat) {
    EXPECT_EQ(decodeIconImage(encoded(square(40), "png"))->width, 40);
    EXPECT_EQ(decodeIconImage(encoded(square(70, 30), "jpeg"))->width, 70);
    EXPECT_EQ(decodeIconImage(encoded(square(24), "webp"))->width, 24);
    EXPECT_EQ(decodeIconImage(QByteArray::fromHex("47494638396101000100800000000000ffffff21f9"
                                                  "0401000000002c00000000010001000002024401003b"))
                  ->width,
              1);

    const std::optional<IconImage> ico = decodeIconImage(multiIco({16, 64, 32}));
    ASSERT_TRUE(ico);
    EXPECT_EQ(ico->width, 64);
    EXPECT_EQ(ico->image.width(), 64);

    const std::optional<IconImage> svg = decodeIconImage(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" height=\"60\" viewBox=\"0 0 "
        "120 60\"><rect width=\"120\" height=\"60\" fill=\"red\"/></svg>");
    ASSERT_TRUE(svg);
    EXPECT_EQ(svg->width, 120);
    EXPECT_EQ(svg->image.width(), 256); // drawn large enough to stay sharp

    EXPECT_FALSE(decodeIconImage(QByteArray()));
    EXPECT_FALSE(decodeIconImage("<html><body>Not found</body></html>"));
    EXPECT_FALSE(decodeIconImage(encoded(square(40), "png").left(30)));
}
