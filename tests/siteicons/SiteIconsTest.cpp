#include "HttpTestServer.h"

#include "siteicons/Inflater.h"
#include "siteicons/SiteIcons.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include <memory>

using namespace velloq;
using velloq::test::HttpTestServer;

namespace {

QByteArray png(int width) {
    QImage image(width, width, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return bytes;
}

// A PNG of noise, so it barely compresses: about width * width * 4 bytes.
QByteArray noisyPng(int width) {
    QImage image(width, width, QImage::Format_ARGB32);
    std::mt19937 random(7);
    for (int y = 0; y < width; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return bytes;
}

// `windowBits` as deflateInit2 takes it: 31 gzip, 15 zlib, -15 raw deflate.
QByteArray compressed(const QByteArray& data, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))), 0);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray linkTag(const char* rel, const char* href, const char* sizes = nullptr) {
    QByteArray tag = QByteArray("<link rel=\"") + rel + "\" href=\"" + href + "\"";
    if (sizes)
        tag += QByteArray(" sizes=\"") + sizes + "\"";
    return tag + ">";
}

QByteArray html(const QByteArray& head) {
    return "<!DOCTYPE html><html><head><title>t</title>" + head + "</head><body></body></html>";
}

class SiteIconsFetch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        ASSERT_TRUE(cache.isValid());
        icons = make();
    }

    std::unique_ptr<SiteIcons> make(int timeoutMs = 10000, int deadlineMs = 10000) {
        auto made = std::make_unique<SiteIcons>(
            SiteIcons::Options{cache.path() + QStringLiteral("/SiteIcons"), timeoutMs, deadlineMs});
        made->onUpdate = [this] { ++updates; };
        return made;
    }

    // Runs one search for the server's site and waits until it stored an icon or gave up.
    void search() {
        const int before = updates;
        const int failuresBefore = log.count(QStringLiteral("No icon found for "));
        icons->fetchIfNeeded(server.base());
        ASSERT_TRUE(test::waitUntil(
            [&] {
                return updates > before ||
                       log.count(QStringLiteral("No icon found for ")) > failuresBefore;
            },
            20000));
    }

    int width() {
        const std::optional<QImage> image = icons->icon(server.base());
        return image ? image->width() : 0;
    }

    HttpTestServer server;
    QTemporaryDir cache{test::scratchDir() + QStringLiteral("/cache-XXXXXX")};
    LogCapture log;
    int updates = 0;
    std::unique_ptr<SiteIcons> icons;
};

} // namespace

TEST(SiteIconsUrl, NormalisesTypedAddresses) {
    EXPECT_EQ(SiteIcons::url(QStringLiteral("example.com"))->toString(),
              QStringLiteral("https://example.com"));
    const std::optional<QUrl> padded =
        SiteIcons::url(QStringLiteral("  \n HTTP://WWW.Example.COM/a \t"));
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->scheme(), QStringLiteral("http"));
    EXPECT_EQ(padded->host(), QStringLiteral("www.example.com"));
    EXPECT_EQ(padded->path(), QStringLiteral("/a"));
    EXPECT_TRUE(SiteIcons::url(QStringLiteral("http://127.0.0.1:8080/")));
    EXPECT_FALSE(SiteIcons::url(QStringLiteral("localhost")));
    EXPECT_FALSE(SiteIcons::url(QStringLiteral("https://myhost/")));
    EXPECT_FALSE(SiteIcons::url(QStringLiteral("   ")));
    EXPECT_FALSE(SiteIcons::url(QStringLiteral("https://exa mple.com")));
}

TEST(SiteIconsCache, FileNamesStayInsideTheFolder) {
    QTemporaryDir dir(test::scratchDir() + QStringLiteral("/names-XXXXXX"));
    SiteIcons icons(SiteIcons::Options{dir.path()});
    EXPECT_EQ(icons.fileURL(QStringLiteral("www.example.com")),
              dir.path() + QStringLiteral("/www.example.com.icon"));
    for (const QString& host :
         {QStringLiteral(".."), QStringLiteral("../../etc/passwd"), QStringLiteral("a/b"),
          QStringLiteral("a\\b"), QStringLiteral("/abs"), QStringLiteral("x\0y"), QString()}) {
        const QFileInfo file(icons.fileURL(host));
        EXPECT_EQ(file.absolutePath(), QDir(dir.path()).absolutePath()) << host.toStdString();
        EXPECT_TRUE(file.fileName().endsWith(QStringLiteral(".icon")));
        EXPECT_FALSE(file.fileName().contains(u'/'));
    }
    EXPECT_NE(icons.fileURL(QStringLiteral("a/b")), icons.fileURL(QStringLiteral("a%2Fb")));
}

TEST_F(SiteIconsFetch, PrefersTheAppleTouchIconAndStopsAtTheFirstLargeOne) {
    HttpTestServer::Route page;
    page.body = html(linkTag("icon", "/small.png", "32x32") +
                     linkTag("apple-touch-icon", "/touch.png", "180x180"));
    page.headers = {{"Set-Cookie", "session=secret; Path=/"}};
    server.route(QStringLiteral("/"), page);
    server.file(QStringLiteral("/small.png"), png(32));
    const QByteArray touch = png(180);
    server.file(QStringLiteral("/touch.png"), touch);

    search();
    EXPECT_EQ(server.paths(), (QStringList{QStringLiteral("/"), QStringLiteral("/touch.png")}));
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(width(), 180);

    QFile stored(icons->fileURL(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), touch);

    for (const HttpTestServer::Request& request : server.requests()) {
        EXPECT_EQ(request.headers.value("user-agent"), QByteArray(SiteIcons::kUserAgent));
        EXPECT_FALSE(request.headers.contains("cookie"));
    }
}

TEST_F(SiteIconsFetch, SkipsErrorStatusesAndKeepsTheWidestSmallIcon) {
    HttpTestServer::Route notFoundImage;
    notFoundImage.status = 404;
    notFoundImage.contentType = "image/png";
    notFoundImage.body = png(128); // would win if the status were ignored
    server.page(QStringLiteral("/"),
                html(linkTag("icon", "/gone.png", "99x99") +
                     linkTag("icon", "/missing.png", "98x98") + linkTag("icon", "/a.png") +
                     linkTag("icon", "/b.png") + linkTag("icon", "/c.png")));
    server.route(QStringLiteral("/gone.png"), notFoundImage);
    server.file(QStringLiteral("/a.png"), png(16));
    server.file(QStringLiteral("/b.png"), png(48));
    server.file(QStringLiteral("/c.png"), png(32));

    search();
    EXPECT_EQ(server.paths(), (QStringList{QStringLiteral("/"), QStringLiteral("/gone.png"),
                                           QStringLiteral("/missing.png"), QStringLiteral("/a.png"),
                                           QStringLiteral("/b.png"), QStringLiteral("/c.png"),
                                           QStringLiteral("/apple-touch-icon.png"),
                                           QStringLiteral("/favicon.ico")}));
    EXPECT_EQ(width(), 48);
}

TEST_F(SiteIconsFetch, ListsEachFallbackOnce) {
    server.page(QStringLiteral("/"), html(linkTag("shortcut icon", "/favicon.ico")));
    server.file(QStringLiteral("/favicon.ico"), png(16), "image/x-icon");

    search();
    EXPECT_EQ(server.paths(), (QStringList{QStringLiteral("/"), QStringLiteral("/favicon.ico"),
                                           QStringLiteral("/apple-touch-icon.png")}));
    EXPECT_EQ(width(), 16);
}

TEST_F(SiteIconsFetch, ResolvesLinksAgainstTheFinalUrlAfterRedirects) {
    HttpTestServer::Route moved;
    moved.status = 302;
    moved.headers = {{"Location", server.url(QStringLiteral("/site/home.html")).toLatin1()}};
    server.route(QStringLiteral("/"), moved);
    server.page(QStringLiteral("/site/home.html"), html(linkTag("icon", "icon.png")));
    server.file(QStringLiteral("/site/icon.png"), png(24));

    search();
    EXPECT_EQ(server.paths(), (QStringList{QStringLiteral("/"), QStringLiteral("/site/home.html"),
                                           QStringLiteral("/site/icon.png"),
                                           QStringLiteral("/apple-touch-icon.png"),
                                           QStringLiteral("/favicon.ico")}));
    EXPECT_EQ(width(), 24);
}

TEST_F(SiteIconsFetch, OneSearchPerHostAtATimeAndNoneOnceCached) {
    server.page(QStringLiteral("/"), html(linkTag("icon", "/big.png")));
    server.file(QStringLiteral("/big.png"), png(96));

    icons->fetchIfNeeded(server.base());
    icons->fetchIfNeeded(server.base() + QStringLiteral("/other/page"));
    ASSERT_TRUE(test::waitUntil([&] { return updates > 0; }, 20000));
    EXPECT_EQ(server.paths(), (QStringList{QStringLiteral("/"), QStringLiteral("/big.png")}));

    icons->fetchIfNeeded(server.base());
    EXPECT_FALSE(test::waitUntil([&] { return server.requests().size() > 2; }, 300));
    EXPECT_EQ(updates, 1);
}

TEST_F(SiteIconsFetch, AFailedSearchIsLoggedAndForgotten) {
    server.page(QStringLiteral("/"), html("<link rel=\"stylesheet\" href=\"/s.css\">"));
    server.page(QStringLiteral("/favicon.ico"), "<html>not an image</html>");

    search();
    EXPECT_EQ(log.count(QStringLiteral("No icon found for 127.0.0.1")), 1);
    EXPECT_EQ(updates, 0);
    EXPECT_FALSE(icons->icon(server.base()));
    EXPECT_FALSE(QFile::exists(icons->fileURL(QStringLiteral("127.0.0.1"))));

    search(); // unknown again, so it searches again
    EXPECT_EQ(server.paths().count(QStringLiteral("/")), 2);
    EXPECT_EQ(log.count(QStringLiteral("No icon found for 127.0.0.1")), 2);
}

TEST_F(SiteIconsFetch, ANewInstanceServesTheIconFromDisk) {
    server.page(QStringLiteral("/"), html(linkTag("icon", "/i.png")));
    server.file(QStringLiteral("/i.png"), png(80));
    search();
    const qsizetype requests = server.requests().size();

    icons = make();
    EXPECT_EQ(width(), 80);
    icons->fetchIfNeeded(server.base());
    EXPECT_FALSE(test::waitUntil([&] { return server.requests().size() > requests; }, 300));
}

TEST_F(SiteIconsFetch, ReadsAtMostTheFirst400000BytesOfAPage) {
    QByteArray head = html(linkTag("icon", "/early.png"));
    head += QByteArray(static_cast<qsizetype>(SiteIcons::kPageByteLimit) - head.size() - 10, ' ');
    head += linkTag("apple-touch-icon", "/late.png", "180x180"); // straddles the limit
    HttpTestServer::Route page;
    page.body = head;
    page.endless = 64 * 1024 * 1024;
    page.declareLength = false;
    server.route(QStringLiteral("/"), page);
    server.file(QStringLiteral("/early.png"), png(64));
    server.file(QStringLiteral("/late.png"), png(180));

    search();
    EXPECT_EQ(server.paths(), (QStringList{QStringLiteral("/"), QStringLiteral("/early.png")}));
    EXPECT_EQ(width(), 64);
    // The client stopped reading: only socket buffers' worth went out, not the whole stream.
    EXPECT_LT(server.bodyBytesSent(QStringLiteral("/")), 32 * 1024 * 1024);
}

TEST_F(SiteIconsFetch, AbandonsIconsLargerThanTheCap) {
    QByteArray padded = png(128);
    padded +=
        QByteArray(static_cast<qsizetype>(SiteIcons::kIconByteLimit) + 1 - padded.size(), '\0');
    server.page(QStringLiteral("/"),
                html(linkTag("icon", "/declared.png", "512x512") +
                     linkTag("icon", "/streamed.png", "256x256") +
                     linkTag("icon", "/fits.png", "128x128") + linkTag("icon", "/small.png")));
    server.file(QStringLiteral("/declared.png"), padded);
    HttpTestServer::Route streamed;
    streamed.contentType = "image/png";
    streamed.body = png(128);
    streamed.endless = 64 * 1024 * 1024;
    streamed.declareLength = false;
    server.route(QStringLiteral("/streamed.png"), streamed);
    QByteArray fits = png(100);
    fits += QByteArray(static_cast<qsizetype>(SiteIcons::kIconByteLimit) - fits.size(), '\0');
    server.file(QStringLiteral("/fits.png"), fits);

    search();
    EXPECT_EQ(server.paths(),
              (QStringList{QStringLiteral("/"), QStringLiteral("/declared.png"),
                           QStringLiteral("/streamed.png"), QStringLiteral("/fits.png")}));
    EXPECT_EQ(width(), 100); // exactly the cap is still allowed
    EXPECT_LT(server.bodyBytesSent(QStringLiteral("/streamed.png")), 32 * 1024 * 1024);
}

TEST_F(SiteIconsFetch, AStalledCandidateTimesOutAndTheNextIsTried) {
    icons = make(300);
    HttpTestServer::Route stalled;
    stalled.hang = true;
    server.page(QStringLiteral("/"),
                html(linkTag("apple-touch-icon", "/stalled.png") + linkTag("icon", "/ok.png")));
    server.route(QStringLiteral("/stalled.png"), stalled);
    server.file(QStringLiteral("/ok.png"), png(100));

    search();
    EXPECT_EQ(width(), 100);
}

TEST_F(SiteIconsFetch, NeverReadsLocalFilesNamedByAPage) {
    const QString local = cache.path() + QStringLiteral("/local.png");
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(png(200));
    }
    server.page(
        QStringLiteral("/"),
        html(linkTag("apple-touch-icon", QUrl::fromLocalFile(local).toEncoded().constData()) +
             linkTag("icon", "/ok.png")));
    server.file(QStringLiteral("/ok.png"), png(20));

    search();
    EXPECT_EQ(width(), 20);
}

TEST_F(SiteIconsFetch, AnIconThatCannotBeSavedIsStillShown) {
    QFile blocker(cache.path() + QStringLiteral("/SiteIcons")); // a file where the folder goes
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    server.page(QStringLiteral("/"), html(linkTag("icon", "/i.png")));
    server.file(QStringLiteral("/i.png"), png(70));

    search();
    EXPECT_EQ(log.count(QStringLiteral("Could not save icon for 127.0.0.1: ")), 1);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(width(), 70);
}

TEST_F(SiteIconsFetch, ATricklingPageEndsAtTheDeadline) {
    icons = make(10000, 500);
    HttpTestServer::Route page;
    page.body = html(linkTag("icon", "/never.png"));
    page.declareLength = false;
    page.trickleMs = 20; // every byte restarts the transfer timeout
    server.route(QStringLiteral("/"), page);
    server.file(QStringLiteral("/favicon.ico"), png(64), "image/x-icon");

    search();
    EXPECT_EQ(width(), 64);
    EXPECT_FALSE(server.paths().contains(QStringLiteral("/never.png")));
}

TEST_F(SiteIconsFetch, ReadsThePageWhateverItsStatus) {
    server.file(QStringLiteral("/i.png"), png(72));
    for (const int status : {400, 418, 500}) {
        HttpTestServer::Route page;
        page.status = status;
        page.body = html(linkTag("icon", "/i.png"));
        server.route(QStringLiteral("/"), page);
        icons = make();
        QFile::remove(icons->fileURL(QStringLiteral("127.0.0.1")));
        search();
        EXPECT_EQ(width(), 72) << status;
    }
    EXPECT_EQ(server.paths().count(QStringLiteral("/i.png")), 3);
    EXPECT_FALSE(server.paths().contains(QStringLiteral("/favicon.ico")));
}

TEST_F(SiteIconsFetch, ParsesTheStartOfAPageCompressedPastTenMebibytes) {
    QByteArray body = html(linkTag("icon", "/i.png"));
    body += QByteArray(12 * 1024 * 1024, ' ');
    HttpTestServer::Route page;
    page.body = compressed(body, 31);
    page.headers = {{"Content-Encoding", "gzip"}}; // sent whatever the client asked for
    server.route(QStringLiteral("/"), page);
    server.file(QStringLiteral("/i.png"), png(90));

    search();
    EXPECT_EQ(width(), 90);
    EXPECT_EQ(server.requests().first().headers.value("accept-encoding"), "identity");
}

TEST(SiteIconsInflater, ExpandsWithinTheLimit) {
    const QByteArray text = QByteArray("<link rel=icon>") + QByteArray(100000, 'x');
    for (const int windowBits : {31, 15, -15}) {
        const QByteArray packed = compressed(text, windowBits);
        Inflater whole(windowBits == 31 ? Inflater::Encoding::gzip : Inflater::Encoding::deflate,
                       1000000);
        QByteArray out;
        // In small pieces, as a network delivers it.
        for (qsizetype at = 0; at < packed.size(); at += 7)
            ASSERT_EQ(whole.feed(packed.mid(at, 7), out), Inflater::Result::more) << windowBits;
        EXPECT_EQ(out, text) << windowBits;

        Inflater bounded(Inflater::Encoding::gzip, 1000);
        out.clear();
        EXPECT_EQ(bounded.feed(compressed(text, 31), out), Inflater::Result::full);
        EXPECT_EQ(out, text.left(1001));
    }
    QByteArray out;
    EXPECT_EQ(Inflater(Inflater::Encoding::gzip, 1000).feed("not compressed at all", out),
              Inflater::Result::failed);
    EXPECT_FALSE(Inflater::forHeader("br", 1000));
    EXPECT_TRUE(Inflater::forHeader(" GZip", 1000));
}

TEST_F(SiteIconsFetch, TakesALargeValidIcon) {
    const QByteArray large = noisyPng(1200);
    ASSERT_GT(large.size(), 5 * 1000 * 1000);
    server.page(QStringLiteral("/"), html(linkTag("apple-touch-icon", "/large.png")));
    server.file(QStringLiteral("/large.png"), large);

    search();
    EXPECT_EQ(width(), 1200);
}

TEST_F(SiteIconsFetch, ACacheFileThatDoesNotDecodeIsReadAgainOnlyOnceChanged) {
    const QString path = icons->fileURL(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    const QByteArray good = png(40);
    const QDateTime then = QDateTime::currentDateTime().addSecs(-100);
    auto write = [&](const QByteArray& bytes, const QDateTime& modified) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    };
    write(QByteArray(good.size(), 'x'), then);
    EXPECT_FALSE(icons->icon(server.base()));
    // Same size and time: taken as the same broken file, not read again.
    write(good, then);
    EXPECT_FALSE(icons->icon(server.base()));
    write(good, then.addSecs(1));
    const std::optional<QImage> image = icons->icon(server.base());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 40);
}
