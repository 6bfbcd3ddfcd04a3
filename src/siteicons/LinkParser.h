#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Finding icon candidates in a web page. Pure functions, safe on any thread.
namespace velloq::LinkParser {

// The icon URLs named by the page's <link> tags, best first: an apple-touch-icon scores
// 10000, plus its declared size up to 1024; equal scores keep document order.
QList<QUrl> iconLinks(const QString& html, const QUrl& base);

// The first number of a `sizes` value ("180x180" gives 180, "16x16 32x32" gives 16);
// 0 when it is not a number. Never more than 1024.
qint64 declaredSize(const QString& sizes);

// The page text: UTF-8 when the bytes are valid UTF-8, else ISO Latin-1.
QString decodePage(const QByteArray& body);

// Drops an incomplete UTF-8 sequence at the end of a body that was cut short, so the cut
// alone never turns a UTF-8 page into Latin-1.
QByteArray withoutPartialUtf8Tail(QByteArray body);

// All candidates for a page: its icon links (none without a body), then
// apple-touch-icon.png and favicon.ico at the site root unless already listed.
QList<QUrl> pageCandidates(const std::optional<QByteArray>& body, const QUrl& base);

} // namespace velloq::LinkParser
