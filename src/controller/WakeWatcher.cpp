#include "controller/WakeWatcher.h"

#include "support/Log.h"

#include <QDBusConnection>
#include <QDBusError>

namespace velloq {

void LogindWakeWatcher::start() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        logLine(QStringLiteral("No system bus, so waking from sleep goes unnoticed: ") +
                bus.lastError().message());
        return;
    }
    if (!bus.connect(QStringLiteral("org.freedesktop.login1"),
                     QStringLiteral("/org/freedesktop/login1"),
                     QStringLiteral("org.freedesktop.login1.Manager"),
                     QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool))))
        logLine(QStringLiteral("Could not watch logind for sleep: ") + bus.lastError().message());
}

void LogindWakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping)
        Q_EMIT woke();
}

} // namespace velloq
