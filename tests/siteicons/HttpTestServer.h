#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

namespace velloq::test {

// A small HTTP/1.1 server on 127.0.0.1 for the site-icon tests: serves configured routes,
// answers 404 with an HTML page otherwise, and records every request it receives.
class HttpTestServer : public QObject {
    Q_OBJECT
public:
    struct Route {
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // extra response headers
        bool hang = false;                            // read the request, never answer
        qint64 endless = 0;        // after the body, this many filler bytes, sent as drained
        bool declareLength = true; // send Content-Length (body + filler)
        int trickleMs = 0;         // send the body one byte per this many ms, then spaces, forever
    };
    struct Request {
        QString path;
        QHash<QByteArray, QByteArray> headers; // names lowercased
    };

    HttpTestServer();
    bool listen();
    QString base() const; // "http://127.0.0.1:PORT"
    QString url(const QString& path) const { return base() + path; }

    void route(const QString& path, Route route);
    void page(const QString& path, const QByteArray& html);
    void file(const QString& path, const QByteArray& bytes, const QByteArray& type = "image/png");

    QList<Request> requests() const { return requests_; }
    QStringList paths() const;
    // Bytes of the body (with filler) written to the socket for the last request of a path.
    qint64 bodyBytesSent(const QString& path) const { return sent_.value(path); }

private:
    void serve(class QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    QTcpServer server_;
    QHash<QString, Route> routes_;
    QList<Request> requests_;
    QHash<QString, qint64> sent_;
};

} // namespace velloq::test
