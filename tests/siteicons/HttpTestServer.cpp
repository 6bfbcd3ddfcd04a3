#include "HttpTestServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace velloq::test {

namespace {
constexpr qint64 kFillerChunk = 64 * 1024;
constexpr qint64 kMaxQueued = 256 * 1024;

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}
} // namespace

HttpTestServer::HttpTestServer() {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection())
            serve(socket);
    });
}

bool HttpTestServer::listen() {
    return server_.listen(QHostAddress::LocalHost, 0);
}

QString HttpTestServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
}

void HttpTestServer::route(const QString& path, Route route) {
    routes_.insert(path, route);
}

void HttpTestServer::page(const QString& path, const QByteArray& html) {
    Route r;
    r.body = html;
    route(path, r);
}

void HttpTestServer::file(const QString& path, const QByteArray& bytes, const QByteArray& type) {
    Route r;
    r.body = bytes;
    r.contentType = type;
    route(path, r);
}

QStringList HttpTestServer::paths() const {
    QStringList out;
    for (const Request& r : requests_)
        out.append(r.path);
    return out;
}

void HttpTestServer::serve(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto pending = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, pending] {
        *pending += socket->readAll();
        const qsizetype end = pending->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = pending->left(end).split('\n');
        pending->clear();
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.path = QString::fromLatin1(first.value(1));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        requests_.append(request);
        answer(socket, request);
    });
}

void HttpTestServer::answer(QTcpSocket* socket, const Request& request) {
    Route route;
    const auto found = routes_.constFind(request.path);
    if (found != routes_.constEnd()) {
        route = *found;
    } else {
        route.status = 404;
        route.body = "<html><body>Not found</body></html>";
    }
    if (route.hang)
        return;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + reason(route.status) +
                      "\r\nConnection: close\r\nContent-Type: " + route.contentType + "\r\n";
    if (route.declareLength)
        head += "Content-Length: " + QByteArray::number(route.body.size() + route.endless) + "\r\n";
    for (const auto& [name, value] : route.headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (route.trickleMs > 0) {
        auto* timer = new QTimer(socket);
        auto next = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, next, body = route.body] {
            socket->write(*next < body.size() ? body.mid((*next)++, 1) : QByteArray(" "));
        });
        timer->start(route.trickleMs);
        return;
    }
    socket->write(route.body);
    sent_[request.path] = route.body.size();

    if (route.endless <= 0) {
        socket->disconnectFromHost();
        return;
    }
    // Filler goes out only as the client drains it, so what was sent shows what was read.
    auto left = std::make_shared<qint64>(route.endless);
    const QString path = request.path;
    auto topUp = [this, socket, left, path] {
        while (*left > 0 && socket->bytesToWrite() < kMaxQueued &&
               socket->state() == QAbstractSocket::ConnectedState) {
            const qint64 n = std::min(*left, kFillerChunk);
            socket->write(QByteArray(n, ' '));
            *left -= n;
            sent_[path] += n;
        }
        if (*left == 0) {
            *left = -1;
            socket->disconnectFromHost();
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}

} // namespace velloq::test
