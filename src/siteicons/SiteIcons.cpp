#include "siteicons/SiteIcons.h"

#include "siteicons/Inflater.h"
#include "siteicons/LinkParser.h"
#include "support/AppPaths.h"
#include "support/Log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

#include <filesystem>
#include <memory>

namespace velloq {

const char* const SiteIcons::kUserAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/18.0 Safari/605.1.15";

// What one GET gave: `ok` when a response arrived (any HTTP status) and was read to its end
// or to the page limit.
struct SiteIcons::Response {
    bool ok = false;
    bool cut = false; // the body stops at the limit
    int status = 0;   // 0 without an HTTP status
    QUrl finalUrl;
    QByteArray body;
};

namespace {

constexpr qint64 kReadChunk = 64 * 1024;

bool isWeb(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

// True when the reply's error only reports its HTTP status (404, 500 ...), so the body that
// came with the status is a real answer, not a broken transfer.
bool isStatusError(QNetworkReply::NetworkError error, int status) {
    if (status < 400)
        return false;
    // Qt reports 400 and 418 as an invalid operation.
    return error == QNetworkReply::ProxyAuthenticationRequiredError ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

SiteIcons::SiteIcons(Options options, QObject* parent)
    : QObject(parent)
    , options_(std::move(options))
    , network_(new QNetworkAccessManager(this)) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    network_->setTransferTimeout(options_.transferTimeoutMs);
    pool_.setMaxThreadCount(1);
}

SiteIcons::~SiteIcons() {
    pool_.waitForDone();
}

SiteIcons& SiteIcons::shared() {
    // Never destroyed: it may be asked for until the very end of the process.
    static SiteIcons* const instance =
        new SiteIcons(Options{AppPaths::dataDir() + QStringLiteral("/SiteIcons")});
    return *instance;
}

std::optional<QUrl> SiteIcons::url(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (!trimmed.contains(QLatin1String("://")))
        trimmed.prepend(QLatin1String("https://"));
    const QUrl parsed(trimmed);
    if (!parsed.isValid())
        return std::nullopt;
    const QString host = parsed.host(QUrl::FullyEncoded);
    if (host.isEmpty() || !host.contains(u'.'))
        return std::nullopt;
    return parsed;
}

QString SiteIcons::key(const QUrl& url) {
    return url.host(QUrl::FullyEncoded).toLower();
}

std::optional<QImage> SiteIcons::icon(const QString& text) {
    const std::optional<QUrl> parsed = url(text);
    if (!parsed)
        return std::nullopt;
    const QString host = key(*parsed);
    const auto cached = memory_.constFind(host);
    if (cached != memory_.constEnd())
        return *cached;

    // Faces ask on every refresh: a file that failed to decode is only tried again once it
    // changed.
    QFile file(fileURL(host));
    const QFileInfo info(file);
    if (!info.isFile())
        return std::nullopt;
    const FileStamp stamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
    const auto failed = undecodable_.constFind(host);
    if (failed != undecodable_.constEnd() && *failed == stamp)
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<IconImage> decoded;
    if (stamp.size <= kIconByteLimit)
        decoded = decodeIconImage(file.read(kIconByteLimit));
    if (!decoded) {
        undecodable_.insert(host, stamp);
        return std::nullopt;
    }
    undecodable_.remove(host);
    memory_.insert(host, decoded->image);
    return decoded->image;
}

void SiteIcons::fetchIfNeeded(const QString& text) {
    const std::optional<QUrl> page = url(text);
    if (!page)
        return;
    const QString host = key(*page);
    if (inFlight_.contains(host) || icon(text))
        return;
    inFlight_.insert(host);
    fetchPage(*page, [this, host](QList<QUrl> candidates) {
        if (candidates.isEmpty()) {
            finish(host, std::nullopt);
            return;
        }
        tryCandidates(std::move(candidates), std::nullopt,
                      [this, host](std::optional<Found> found) { finish(host, std::move(found)); });
    });
}

QString SiteIcons::fileURL(const QString& host) const {
    QString name;
    for (const char byte : host.toUtf8()) {
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '.' || byte == '-' ||
                           byte == '_';
        if (plain)
            name += QLatin1Char(byte);
        else
            name += QStringLiteral("%%1")
                        .arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'))
                        .toUpper();
    }
    return options_.cacheDir + u'/' + name + QStringLiteral(".icon");
}

QList<QUrl> SiteIcons::iconLinks(const QString& html, const QUrl& base) {
    return LinkParser::iconLinks(html, base);
}

void SiteIcons::fetchPage(const QUrl& page, PageCompletion completion) {
    get(page, kPageByteLimit, true, [this, page, completion](Response response) {
        const QUrl base = response.finalUrl.isValid() ? response.finalUrl : page;
        std::optional<QByteArray> body;
        if (response.ok)
            body = response.cut ? LinkParser::withoutPartialUtf8Tail(std::move(response.body))
                                : std::move(response.body);
        offload([body, base] { return LinkParser::pageCandidates(body, base); }, completion);
    });
}

void SiteIcons::tryCandidates(QList<QUrl> candidates, std::optional<Found> best,
                              ChainCompletion completion) {
    if (candidates.isEmpty()) {
        completion(std::move(best));
        return;
    }
    const QUrl next = candidates.takeFirst();
    get(next, kIconByteLimit, false,
        [this, rest = candidates, best, completion](Response response) {
            if (!response.ok || response.status > 399) {
                tryCandidates(rest, best, completion);
                return;
            }
            const QByteArray data = response.body;
            offload([data] { return decodeIconImage(data); },
                    [this, rest, best, completion, data](std::optional<IconImage> icon) mutable {
                        if (!icon) {
                            tryCandidates(rest, best, completion);
                            return;
                        }
                        if (icon->width >= kWideEnough) {
                            completion(Found{data, std::move(*icon)});
                            return;
                        }
                        if ((!best && icon->width > 0) || (best && icon->width > best->icon.width))
                            best = Found{data, std::move(*icon)};
                        tryCandidates(rest, best, completion);
                    });
        });
}

void SiteIcons::finish(const QString& host, std::optional<Found> found) {
    inFlight_.remove(host);
    if (!found) {
        logLine(QStringLiteral("No icon found for ") + host);
        return;
    }
    store(host, found->data);
    undecodable_.remove(host);
    memory_.insert(host, found->icon.image);
    if (onUpdate)
        onUpdate();
}

void SiteIcons::store(const QString& host, const QByteArray& data) {
    const QString failure =
        QStringLiteral("Could not save icon for ") + host + QStringLiteral(": ");
    std::error_code error;
    std::filesystem::create_directories(localPath(options_.cacheDir), error);
    if (error) {
        logLine(failure + QString::fromStdString(error.message()));
        return;
    }
    QSaveFile file(fileURL(host));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        logLine(failure + file.errorString());
}

void SiteIcons::get(const QUrl& url, qint64 limit, bool keepPrefix,
                    std::function<void(Response)> done) {
    if (!isWeb(url)) {
        // Pages may name file: or other local schemes; only the web is ever asked.
        QTimer::singleShot(0, this, [done] { done(Response{}); });
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    // Uncompressed, so a page is cut at its first bytes, not lost to Qt's guard against
    // compression bombs; a server that compresses anyway is expanded here, within the limit.
    request.setRawHeader("Accept-Encoding", "identity");

    QNetworkReply* reply = network_->get(request);
    reply->setReadBufferSize(kReadChunk);
    // The transfer timeout restarts with every byte, so a server that trickles its answer
    // needs a deadline of its own.
    QTimer::singleShot(options_.requestDeadlineMs, reply, [reply] {
        if (reply->isRunning())
            reply->abort();
    });

    struct Transfer {
        QByteArray body;
        bool cut = false;
        bool oversized = false;
        bool finished = false;
        bool started = false;
        std::unique_ptr<Inflater> inflater;
    };
    auto transfer = std::make_shared<Transfer>();

    // Reads what has arrived; true once the body passed the limit and the transfer must end.
    auto pull = [reply, transfer, limit, keepPrefix] {
        if (!transfer->started) {
            transfer->started = true;
            transfer->inflater = Inflater::forHeader(reply->rawHeader("Content-Encoding"), limit);
            bool known = false;
            const qint64 declared =
                reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
            if (!keepPrefix && known && declared > limit) {
                transfer->oversized = true;
                return true;
            }
        }
        for (;;) {
            const qint64 room = limit - transfer->body.size();
            const QByteArray chunk =
                reply->read(transfer->inflater ? kReadChunk : std::min(room + 1, kReadChunk));
            if (chunk.isEmpty())
                return false;
            if (!transfer->inflater) {
                transfer->body += chunk;
            } else if (transfer->inflater->feed(chunk, transfer->body) ==
                       Inflater::Result::failed) {
                // What expanded so far is still the start of the page; an icon is lost.
                transfer->cut = keepPrefix;
                transfer->oversized = !keepPrefix;
                return true;
            }
            if (transfer->body.size() > limit) {
                if (keepPrefix) {
                    transfer->body.truncate(limit);
                    transfer->cut = true;
                } else {
                    transfer->oversized = true;
                    transfer->body.clear();
                }
                return true;
            }
        }
    };

    connect(reply, &QNetworkReply::readyRead, this, [reply, transfer, pull] {
        if (!transfer->cut && !transfer->oversized && pull())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [reply, transfer, pull, url, done] {
        if (transfer->finished)
            return;
        transfer->finished = true;
        if (!transfer->cut && !transfer->oversized && reply->isOpen())
            pull();
        Response response;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        response.status = status.isValid() ? status.toInt() : 0;
        response.finalUrl = reply->url().isValid() ? reply->url() : url;
        const QNetworkReply::NetworkError error = reply->error();
        response.cut = transfer->cut;
        response.ok =
            !transfer->oversized && (transfer->cut || error == QNetworkReply::NoError ||
                                     (status.isValid() && isStatusError(error, response.status)));
        if (response.ok)
            response.body = std::move(transfer->body);
        reply->deleteLater();
        done(std::move(response));
    });
}

template <typename Work, typename Done> void SiteIcons::offload(Work work, Done done) {
    pool_.start([this, work = std::move(work), done = std::move(done)] {
        auto result = work();
        QMetaObject::invokeMethod(
            this, [done, result = std::move(result)]() mutable { done(std::move(result)); },
            Qt::QueuedConnection);
    });
}

} // namespace velloq
