#pragma once

#include "device/Transport.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace velloq::test {

// A discovery source the test drives. Opening a node hands out one end of a SOCK_SEQPACKET
// socket pair, which carries messages like a hidraw node; the test keeps the other end.
class FakeDiscovery : public DiscoverySource {
    Q_OBJECT
public:
    using DiscoverySource::DiscoverySource;

    void start() override { ++starts; }

    UniqueFd open(const HidDeviceInfo& info, QString* error) override {
        opened.append(info.node);
        if (openError != 0) {
            *error = QString::fromLocal8Bit(std::strerror(openError));
            return {};
        }
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return {};
        }
        if (sendBuffer > 0)
            ::setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        peers[info.node] = fds[1];
        return UniqueFd(fds[0]);
    }

    void attach(const HidDeviceInfo& info) { Q_EMIT deviceAttached(info); }
    void remove(const QString& node) { Q_EMIT deviceRemoved(node); }
    void fail(const QString& reason) { Q_EMIT discoveryFailed(reason); }

    // The dock's end of an opened node; -1 if not opened.
    int peer(const QString& node) const { return peers.value(node, -1); }
    void closePeer(const QString& node) {
        const int fd = peers.take(node);
        if (fd >= 0)
            ::close(fd);
    }

    // Every message waiting at the dock's end.
    QList<QByteArray> drain(const QString& node) const {
        QList<QByteArray> messages;
        QByteArray buffer(4096, '\0');
        for (;;) {
            const ssize_t n = ::recv(peer(node), buffer.data(), size_t(buffer.size()), 0);
            if (n <= 0)
                return messages;
            messages.append(buffer.left(n));
        }
    }

    // Sends one input report from the dock.
    bool send(const QString& node, const QByteArray& report) const {
        return ::send(peer(node), report.constData(), size_t(report.size()), MSG_NOSIGNAL) ==
               report.size();
    }

    ~FakeDiscovery() override {
        for (int fd : std::as_const(peers))
            ::close(fd);
    }

    int starts = 0;
    int openError = 0;
    int sendBuffer = 0; // SO_SNDBUF of the handed-out end; 0 keeps the default
    QStringList opened;
    QMap<QString, int> peers;
};

} // namespace velloq::test
