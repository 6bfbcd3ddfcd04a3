#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include <utility>

namespace velloq {

// Sends `call` without waiting and hands its reply (or error) to `done` on `context`'s
// thread; never when `context` has gone.
template <typename Done>
void whenAnswered(QDBusConnection& bus, const QDBusMessage& call, QObject* context, Done done,
                  int timeoutMs = 5000) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) mutable {
                         finished->deleteLater();
                         done(finished->reply());
                     });
}

} // namespace velloq
