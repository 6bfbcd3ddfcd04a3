#pragma once

#include "siteicons/IconImage.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace velloq {

// Finds, downloads and caches the icon of each website: the page's best <link> icon, else
// /apple-touch-icon.png or /favicon.ico. Icons are kept on disk, one file per host, and in
// memory once loaded. Everything but the parsing and decoding runs on the main thread.
class SiteIcons : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString cacheDir;              // the "SiteIcons" folder
        int transferTimeoutMs = 10000; // a transfer with no progress for this long fails
        int requestDeadlineMs = 10000; // any request still running this long after it began
    };

    static constexpr qint64 kPageByteLimit = 400000;
    static constexpr qint64 kIconByteLimit = 16 * 1024 * 1024;
    static constexpr int kWideEnough = 64;
    static const char* const kUserAgent;

    explicit SiteIcons(Options options, QObject* parent = nullptr);
    ~SiteIcons() override;
    SiteIcons(const SiteIcons&) = delete;
    SiteIcons& operator=(const SiteIcons&) = delete;

    // The process-wide instance, caching in AppPaths::dataDir() + "/SiteIcons".
    static SiteIcons& shared();

    // The web address typed by the user: trimmed, "https://" added when there is no scheme,
    // and only with a host that contains a dot.
    static std::optional<QUrl> url(const QString& text);

    // The cached icon of the text's host, from memory or the disk cache; never the network.
    std::optional<QImage> icon(const QString& text);

    // Starts a search for the host's icon unless it is cached or already being searched.
    void fetchIfNeeded(const QString& text);

    // The cache file for a host: host + ".icon" in the cache folder. Characters that could
    // leave the folder or hide the file are percent-encoded, so the name is always one plain
    // file name inside it.
    QString fileURL(const QString& host) const;

    // Ordered icon candidates of a page (see LinkParser).
    static QList<QUrl> iconLinks(const QString& html, const QUrl& base);

    // Called after a new icon was stored.
    std::function<void()> onUpdate;

private:
    struct Response;
    struct Found {
        QByteArray data;
        IconImage icon;
    };
    using PageCompletion = std::function<void(QList<QUrl>)>;
    using ChainCompletion = std::function<void(std::optional<Found>)>;

    // A cache file that did not decode, as it was then; it is not read again unchanged.
    struct FileStamp {
        qint64 size = 0;
        qint64 modifiedMs = 0;
        bool operator==(const FileStamp&) const = default;
    };

    static QString key(const QUrl& url);
    void fetchPage(const QUrl& page, PageCompletion completion);
    void tryCandidates(QList<QUrl> candidates, std::optional<Found> best,
                       ChainCompletion completion);
    void finish(const QString& host, std::optional<Found> found);
    void store(const QString& host, const QByteArray& data);
    void get(const QUrl& url, qint64 limit, bool keepPrefix, std::function<void(Response)> done);
    template <typename Work, typename Done> void offload(Work work, Done done);

    Options options_;
    QNetworkAccessManager* network_;
    QHash<QString, QImage> memory_;
    QSet<QString> inFlight_;
    QHash<QString, FileStamp> undecodable_;
    QThreadPool pool_; // last: waits for running jobs before anything else goes
};

} // namespace velloq
