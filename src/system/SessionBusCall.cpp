#include "system/SessionBusCall.h"

#include "support/Log.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

#include <memory>

namespace velloq {

namespace {

using Done = std::function<void(BusCallOutcome, const QString&)>;

// Runs `then` with the finished call on `context`, and frees the watcher.
void whenFinished(const QDBusPendingCall& pending, QObject* context,
                  std::function<void(const QDBusMessage&)> then) {
    auto* watcher = new QDBusPendingCallWatcher(pending, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, then = std::move(then)] {
                         watcher->deleteLater();
                         then(watcher->reply());
                     });
}

QDBusMessage busDaemonCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

void send(QDBusConnection bus, const QDBusMessage& call, QObject* context,
          const std::shared_ptr<Done>& done, int timeoutMs) {
    whenFinished(bus.asyncCall(call, timeoutMs), context, [done](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage) {
            (*done)(BusCallOutcome::answered, QString());
            return;
        }
        const QDBusError error(reply);
        const QString reason = error.message().isEmpty() ? error.name() : error.message();
        switch (error.type()) {
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
            (*done)(BusCallOutcome::noAnswer, reason);
            return;
        case QDBusError::ServiceUnknown:
            (*done)(BusCallOutcome::absent, reason);
            return;
        default:
            (*done)(BusCallOutcome::refused, reason);
            return;
        }
    });
}

} // namespace

void callSessionService(const QDBusMessage& call, QObject* context, Done done, int timeoutMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto shared = std::make_shared<Done>(std::move(done));
    if (!bus.isConnected()) {
        (*shared)(BusCallOutcome::absent, QStringLiteral("no session bus"));
        return;
    }
    const QString service = call.service();
    QDBusMessage hasOwner = busDaemonCall(QStringLiteral("NameHasOwner"));
    hasOwner << service;
    whenFinished(
        bus.asyncCall(hasOwner), context,
        [bus, call, context, shared, timeoutMs, service](const QDBusMessage& owned) {
            if (owned.type() == QDBusMessage::ReplyMessage && owned.arguments().value(0).toBool()) {
                send(bus, call, context, shared, timeoutMs);
                return;
            }
            whenFinished(
                bus.asyncCall(busDaemonCall(QStringLiteral("ListActivatableNames"))), context,
                [bus, call, context, shared, timeoutMs, service](const QDBusMessage& names) {
                    if (names.arguments().value(0).toStringList().contains(service))
                        send(bus, call, context, shared, timeoutMs);
                    else
                        (*shared)(BusCallOutcome::absent,
                                  service + QStringLiteral(" is not on the bus"));
                });
        });
}

void callSessionServiceOrFallBack(const QDBusMessage& call, const QString& what, QObject* context,
                                  std::function<void()> fallback) {
    callSessionService(
        call, context,
        [what, fallback = std::move(fallback)](BusCallOutcome outcome, const QString& reason) {
            if (outcome == BusCallOutcome::answered)
                return;
            const bool fallsBack = fallback && outcome != BusCallOutcome::noAnswer;
            if (!fallsBack || outcome == BusCallOutcome::refused)
                logLine(QStringLiteral("Could not run ") + what + QStringLiteral(": ") + reason);
            if (fallsBack)
                fallback();
        });
}

} // namespace velloq
