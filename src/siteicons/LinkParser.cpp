#include "siteicons/LinkParser.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

namespace velloq::LinkParser {

namespace {

constexpr qint64 kAppleTouchBonus = 10000;
constexpr qint64 kLargestCountedSize = 1024;

// One compiled copy per thread: pages are parsed on pool threads.
const QRegularExpression& linkTagPattern() {
    thread_local const QRegularExpression pattern(
        QStringLiteral("<link\\b[^>]*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return pattern;
}

const QRegularExpression& attributePattern() {
    thread_local const QRegularExpression pattern(
        QStringLiteral("([a-zA-Z-]+)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::UseUnicodePropertiesOption);
    return pattern;
}

// Every attribute of one tag; a later duplicate replaces an earlier one.
QHash<QString, QString> attributes(const QString& tag) {
    QHash<QString, QString> found;
    QRegularExpressionMatchIterator it = attributePattern().globalMatch(tag);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString value;
        for (int group = 2; group <= 4; ++group) {
            if (m.hasCaptured(group)) {
                value = m.captured(group);
                break;
            }
        }
        found.insert(m.captured(1).toLower(), value);
    }
    return found;
}

bool isDecimalInteger(const QString& text) {
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-'))
        i = 1;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    }
    return true;
}

struct ScoredLink {
    qint64 score;
    QUrl url;
};

} // namespace

qint64 declaredSize(const QString& sizes) {
    const QString first = sizes.section(u'x', 0, 0);
    if (!isDecimalInteger(first))
        return 0;
    bool ok = false;
    const qint64 value = first.toLongLong(&ok);
    if (!ok)
        return 0;
    return std::min(value, kLargestCountedSize);
}

QList<QUrl> iconLinks(const QString& html, const QUrl& base) {
    std::vector<ScoredLink> links;
    QRegularExpressionMatchIterator tags = linkTagPattern().globalMatch(html);
    while (tags.hasNext()) {
        const QHash<QString, QString> attrs = attributes(tags.next().captured(0));

        const auto rel = attrs.constFind(QStringLiteral("rel"));
        if (rel == attrs.constEnd())
            continue;
        const QString relLower = rel->toLower();
        if (!relLower.contains(QLatin1String("icon")) ||
            relLower.contains(QLatin1String("mask-icon")))
            continue;

        QString href = attrs.value(QStringLiteral("href"));
        href.replace(QLatin1String("&amp;"), QLatin1String("&"));
        if (href.isEmpty() || href.startsWith(QLatin1String("data:")))
            continue;
        const QUrl relative(href);
        if (!relative.isValid())
            continue;
        const QUrl absolute = base.resolved(relative);
        if (!absolute.isValid() || absolute.isRelative())
            continue;

        qint64 score = relLower.contains(QLatin1String("apple-touch-icon")) ? kAppleTouchBonus : 0;
        score += declaredSize(attrs.value(QStringLiteral("sizes")));
        links.push_back({score, absolute});
    }

    std::stable_sort(links.begin(), links.end(),
                     [](const ScoredLink& a, const ScoredLink& b) { return a.score > b.score; });
    QList<QUrl> urls;
    urls.reserve(static_cast<qsizetype>(links.size()));
    for (const ScoredLink& link : links)
        urls.append(link.url);
    return urls;
}

QString decodePage(const QByteArray& body) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(body);
}

QByteArray withoutPartialUtf8Tail(QByteArray body) {
    const qsizetype n = body.size();
    for (qsizetype back = 1; back <= 4 && back <= n; ++back) {
        const auto byte = static_cast<unsigned char>(body[n - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte: keep looking for the lead byte
        const qsizetype length = (byte & 0xE0) == 0xC0   ? 2
                                 : (byte & 0xF0) == 0xE0 ? 3
                                 : (byte & 0xF8) == 0xF0 ? 4
                                                         : 1;
        if (back < length)
            body.truncate(n - back);
        break;
    }
    return body;
}

QList<QUrl> pageCandidates(const std::optional<QByteArray>& body, const QUrl& base) {
    QList<QUrl> candidates;
    if (body)
        candidates = iconLinks(decodePage(*body), base);
    const QUrl root = base.resolved(QUrl(QStringLiteral("/")));
    for (const QString& name :
         {QStringLiteral("apple-touch-icon.png"), QStringLiteral("favicon.ico")}) {
        const QUrl fallback = root.resolved(QUrl(name));
        if (!candidates.contains(fallback))
            candidates.append(fallback);
    }
    return candidates;
}

} // namespace velloq::LinkParser
